// Any input decodes without writing out of bounds; the output never holds
// more than three bytes per four input characters; re-encoding what was
// decoded gives back the decoded part of the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/formats/decode_base64.h"
#include "server/formats/test_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string out;
  int status = DecodeBase64(&out, input);
  if (status < 0 || status > 3) std::abort();
  if (out.size() > size / 4 * 3 || out.size() % 3 != 0) std::abort();
  if (size == 0 && status != 0) std::abort();
  // The decoded groups re-encode to the consumed characters, "=" read as
  // the value 0 ("A").
  std::string consumed(input.substr(0, out.size() / 3 * 4));
  for (char& c : consumed)
    if (c == '=') c = 'A';
  if (EncodeBase64ForTesting(out) != consumed) std::abort();
  std::string text = DecodeBase64Text(input);
  if (text.size() > out.size() || text.find('\0') != std::string::npos) std::abort();
  return 0;
}
