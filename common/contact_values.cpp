#include "common/contact_values.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::string_view kNotUtf8 = "is not valid UTF-8";
constexpr std::string_view kControl = "holds a control character";
constexpr std::string_view kSeparator = "holds a line or paragraph separator";

// The length of the UTF-8 sequence that `lead` starts and the lead's value
// bits; 0 for a byte no sequence starts with (C0 and C1 would only start
// overlong forms, F5 to FF code points past U+10FFFF).
size_t SequenceLength(unsigned char lead, uint32_t* bits) {
  if (lead >= 0xc2 && lead <= 0xdf) return *bits = lead & 0x1f, 2;
  if (lead >= 0xe0 && lead <= 0xef) return *bits = lead & 0x0f, 3;
  if (lead >= 0xf0 && lead <= 0xf4) return *bits = lead & 0x07, 4;
  return 0;
}

}  // namespace

std::string_view LineTextProblem(std::string_view text) {
  static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      if (lead < 0x20 || lead == 0x7f) return kControl;
      ++i;
      continue;
    }
    uint32_t code = 0;
    const size_t length = SequenceLength(lead, &code);
    if (length == 0 || text.size() - i < length) return kNotUtf8;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xc0) != 0x80) return kNotUtf8;
      code = (code << 6) | (next & 0x3f);
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    if (code < kSmallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
      return kNotUtf8;
    if (code <= 0x9f) return kControl;
    if (code == 0x2028 || code == 0x2029) return kSeparator;
    i += length;
  }
  return {};
}

std::string EscapedLineText(std::string_view text, char replacement) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  for (size_t i = 0; i < text.size();) {
    uint32_t bits = 0;
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : std::max<size_t>(SequenceLength(lead, &bits), 1);
    const std::string_view character = text.substr(i, length);
    if (character.size() == length && LineTextProblem(character).empty()) {
      shown += character;
      i += length;
    } else if (replacement != '\0') {
      shown += replacement;
      ++i;
    } else {
      shown += {'\\', 'x', kHex[lead >> 4], kHex[lead & 15]};
      ++i;
    }
  }
  return shown;
}

bool BreaksContactList(std::string_view value) {
  return value.find(',') != std::string_view::npos || !LineTextProblem(value).empty();
}

std::string ContactValueProblem(const std::string& value) {
  if (value.empty()) return "is empty";
  if (value.size() > kMaxContactValueLength) return "is too long";
  if (value.find(',') != std::string::npos) return "holds a comma";
  return std::string(LineTextProblem(value));
}
