// ParseDigits: the one decimal number parser every reader of numbers uses.
// Pure; any thread.
#ifndef PLATFORM_PARSE_DIGITS_H_
#define PLATFORM_PARSE_DIGITS_H_

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace platform {

// The number that `text` spells in decimal digits, all of it: no sign, no
// space, no other character. Nothing when `text` is empty, holds anything
// else or names a number too large for T. Leading zeros are allowed; the
// callers that forbid them say so.
template <typename T>
std::optional<T> ParseDigits(std::string_view text) {
  static_assert(std::is_unsigned_v<T>, "digits alone spell no sign");
  T value{};
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace platform

#endif  // PLATFORM_PARSE_DIGITS_H_
