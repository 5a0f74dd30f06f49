// Feeds arbitrary bytes to the registry parser. Parsing must never crash, and
// whatever it read must survive a rewrite: Serialize then Parse gives the same
// keys and values, types and bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry.h"

namespace {

bool SameContents(const platform::RegistryFile& a, const platform::RegistryFile& b) {
  if (a.keys().size() != b.keys().size()) return false;
  for (size_t k = 0; k < a.keys().size(); ++k) {
    const auto& x = a.keys()[k];
    const auto& y = b.keys()[k];
    if (x.root != y.root || x.path != y.path || x.values.size() != y.values.size()) return false;
    for (size_t v = 0; v < x.values.size(); ++v) {
      if (x.values[v].name != y.values[v].name || !(x.values[v].value == y.values[v].value))
        return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::RegistryFile parsed;
  parsed.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  std::string text = parsed.Serialize();
  platform::RegistryFile again;
  again.Parse(text);
  if (!SameContents(parsed, again) || again.Serialize() != text) std::abort();
  return 0;
}
