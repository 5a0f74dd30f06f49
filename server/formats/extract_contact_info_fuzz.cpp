// Any report text extracts without reading out of bounds; every value set is
// a piece of the text, the values are set in order, and values not reached
// keep what was passed in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "server/formats/extract_contact_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  const std::string kUnset = "\x01unset";
  std::string user = kUnset, computer = kUnset, ip = kUnset;
  int found = ExtractContactInfo(text, user, computer, ip);
  if (found < 0 || found > 3) std::abort();
  const std::string* values[] = {&user, &computer, &ip};
  for (int i = 0; i < 3; ++i) {
    bool set = i < found;
    if (set && text.find(*values[i]) == std::string::npos) std::abort();
    if (!set && *values[i] != kUnset) std::abort();
  }
  return 0;
}
