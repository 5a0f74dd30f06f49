#include "server/formats/decode_base64.h"

#include <array>

namespace {

constexpr int kNotInAlphabet = -1;

constexpr std::array<int, 128> MakeTable() {
  std::array<int, 128> table{};
  for (int& value : table) value = kNotInAlphabet;
  for (int i = 0; i < 26; ++i) {
    table['A' + i] = i;
    table['a' + i] = 26 + i;
  }
  for (int i = 0; i < 10; ++i) table['0' + i] = 52 + i;
  table['+'] = 62;
  table['/'] = 63;
  table['='] = 0;  // padding contributes zero bits; the zero bytes end the text
  return table;
}

constexpr std::array<int, 128> kTable = MakeTable();

}  // namespace

int DecodeBase64(std::string* output, std::string_view input) {
  output->clear();
  if (input.empty()) return 0;
  // Written through a pointer into room made once: a push_back per byte
  // cost more than the decoding itself.
  output->resize(input.size() / 4 * 3);
  char* out = output->data();
  uint32_t group = 0;
  int count = 0;
  int status = 2;  // the end of the input stops decoding like any other non-alphabet byte
  for (char c : input) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      status = 1;
      break;
    }
    int value = kTable[byte];
    if (value == kNotInAlphabet) break;
    group = (group << 6) | static_cast<uint32_t>(value);
    if (++count == 4) {
      *out++ = static_cast<char>((group >> 16) & 0xff);
      *out++ = static_cast<char>((group >> 8) & 0xff);
      *out++ = static_cast<char>(group & 0xff);
      group = 0;
      count = 0;
    }
  }
  output->resize(static_cast<size_t>(out - output->data()));
  return count != 0 ? 3 : status;
}

std::string_view DecodeBase64Text(std::string_view input, std::string* buffer) {
  DecodeBase64(buffer, input);
  std::string_view text(*buffer);
  return text.substr(0, text.find('\0'));
}

std::string DecodeBase64Text(std::string_view input) {
  std::string buffer;
  return std::string(DecodeBase64Text(input, &buffer));
}
