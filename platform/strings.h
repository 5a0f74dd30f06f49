// Comparing text without regard to ASCII case, the way the registry compares
// key and value names and Windows compares switches and file extensions.
// Bytes outside A-Z (UTF-8 included) compare as they are. Pure functions;
// any thread.
#ifndef PLATFORM_STRINGS_H_
#define PLATFORM_STRINGS_H_

#include <string_view>

namespace platform {

constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

constexpr bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

constexpr bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualNoCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace platform

#endif  // PLATFORM_STRINGS_H_
