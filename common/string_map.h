// StringMap: a hash map keyed by text that is searched with a string_view,
// so a lookup builds no string (only a new key is copied).
#ifndef COMMON_STRING_MAP_H_
#define COMMON_STRING_MAP_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

// Hashes std::string and std::string_view alike.
struct StringHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const noexcept {
    return std::hash<std::string_view>()(text);
  }
};

template <typename Value>
using StringMap = std::unordered_map<std::string, Value, StringHash, std::equal_to<>>;

#endif  // COMMON_STRING_MAP_H_
