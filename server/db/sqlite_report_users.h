// The users the SQLite store's period reads and removal go through, and
// what the reports call them. Helpers of sqlite_activity_backend only.
#ifndef SERVER_DB_SQLITE_REPORT_USERS_H_
#define SERVER_DB_SQLITE_REPORT_USERS_H_

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
std::unordered_map<int64_t, UserLabel> ReadUserLabels(SQLite::Database& db);

#endif  // SERVER_DB_SQLITE_REPORT_USERS_H_
