// What the report reads hand back, as plain values: who a part of a report
// is about, and a name with a count.
#ifndef SERVER_DB_REPORT_ROWS_H_
#define SERVER_DB_REPORT_ROWS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

// A user as the activity database knows it: the name with the address and
// computer its User row points to (either may be empty). Rows whose user
// reference is null belong to a user with an empty name.
struct UserLabel {
  std::string name;
  std::string ip;
  std::string computer;
};

// A site, an action or a user name with how often it occurred.
struct NamedCount {
  std::string name;
  int64_t count = 0;
};

// The label of `user` among `labels`; a null or unknown user gets an empty
// one.
inline UserLabel LabelOf(const std::unordered_map<int64_t, UserLabel>& labels,
                         std::optional<int64_t> user) {
  if (!user) return {};
  auto it = labels.find(*user);
  return it == labels.end() ? UserLabel{} : it->second;
}

#endif  // SERVER_DB_REPORT_ROWS_H_
