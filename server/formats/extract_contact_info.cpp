#include "server/formats/extract_contact_info.h"

#include <algorithm>
#include <string_view>

namespace {

void Drop(std::string_view* rest, size_t n) { rest->remove_prefix(std::min(n, rest->size())); }

// Drops `opening` bytes, then takes the text up to `closing` into `value`.
// False when `closing` is missing.
bool TakeValue(std::string_view* rest, size_t opening, std::string_view closing,
               std::string& value) {
  Drop(rest, opening);
  size_t p = rest->find(closing);
  if (p == std::string_view::npos) return false;
  value.assign(rest->substr(0, p));
  Drop(rest, p + closing.size());
  return true;
}

}  // namespace

int ExtractContactInfo(const std::string& text, std::string& user, std::string& computer,
                       std::string& ip) {
  std::string_view rest(text);
  if (!TakeValue(&rest, 6, "</user>", user)) return 0;
  if (!TakeValue(&rest, 10, "</computer>", computer)) return 1;
  if (!TakeValue(&rest, 4, "</ip>", ip)) return 2;
  return 3;
}
