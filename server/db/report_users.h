// The users a report read goes through, and what it calls them. Helpers of
// read_activity_of_period and read_filter_events_of_period only.
#ifndef SERVER_DB_REPORT_USERS_H_
#define SERVER_DB_REPORT_USERS_H_

#include <SQLiteCpp/SQLiteCpp.h>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "server/db/report_rows.h"

// Every distinct `users` value of `table` ("Web" or "FilterActivity"):
// nullopt first when some row has no user, then the ids in ascending order.
// Each is found by one seek on the table's index that starts with `users`,
// so the cost grows with the number of users, not of rows.
std::vector<std::optional<int64_t>> UsersWithRows(SQLite::Database& db, const char* table);

// The labels of all users, by id.
class UserLabels {
 public:
  explicit UserLabels(SQLite::Database& db);
  // The user's label; a null or unknown user gets an empty one.
  UserLabel Of(std::optional<int64_t> user) const;

 private:
  std::unordered_map<int64_t, UserLabel> labels_;
};

#endif  // SERVER_DB_REPORT_USERS_H_
