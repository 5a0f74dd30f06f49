// Any bytes are judged without reading out of bounds, and text that passes
// holds nothing a reader could take as a line break or fail to decode: no
// C0 or DEL byte, no C1 or U+2028 / U+2029 in UTF-8, no byte that never
// stands in UTF-8, no surrogate; and it passes again cut at any character
// boundary and joined to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/contact_values.h"

namespace {

bool Passes(std::string_view text) { return LineTextProblem(text).empty(); }

bool HoldsForbiddenBytes(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    const auto third = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0;
    if (c < 0x20 || c == 0x7f || c == 0xc0 || c == 0xc1 || c >= 0xf5) return true;
    if (c == 0xc2 && next >= 0x80 && next <= 0x9f) return true;  // C1
    if (c == 0xe2 && next == 0x80 && (third == 0xa8 || third == 0xa9)) return true;
    if (c == 0xed && next >= 0xa0) return true;  // surrogates
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  if (!Passes(input)) return 0;
  if (HoldsForbiddenBytes(input) || !Passes(std::string(input) + std::string(input))) std::abort();
  // Every cut of a short input (a long one would cost its square).
  for (size_t i = 0; i < input.size() && input.size() <= 512; ++i) {
    if ((static_cast<unsigned char>(input[i]) & 0xc0) == 0x80) continue;  // inside a character
    if (!Passes(input.substr(0, i)) || !Passes(input.substr(i))) std::abort();
  }
  if (BreaksContactList(input) != (input.find(',') != std::string_view::npos)) std::abort();
  return 0;
}
