#include "server/db/sqlite_report_users.h"

#include <cstdint>
#include <string>

std::vector<std::optional<int64_t>> UsersWithRows(SQLite::Database& db, const char* table) {
  std::vector<std::optional<int64_t>> users;
  const std::string from = std::string(" FROM ") + table;
  SQLite::Statement any_null(db, "SELECT 1" + from + " WHERE users IS NULL LIMIT 1");
  if (any_null.executeStep()) users.emplace_back(std::nullopt);
  // min() over a range of the index is one seek; NULL when none is left.
  SQLite::Statement next(db, "SELECT min(users)" + from + " WHERE users > ?");
  int64_t after = INT64_MIN;
  for (;;) {
    next.bind(1, after);
    if (!next.executeStep() || next.getColumn(0).isNull()) break;
    after = next.getColumn(0).getInt64();
    users.emplace_back(after);
    next.reset();
  }
  return users;
}

std::unordered_map<int64_t, UserLabel> ReadUserLabels(SQLite::Database& db) {
  std::unordered_map<int64_t, UserLabel> labels;
  SQLite::Statement query(db,
                          "SELECT u.id, u.user_name, i.ip, c.computer_name FROM \"User\" u"
                          " LEFT JOIN Ip i ON i.id = u.ips"
                          " LEFT JOIN Computer c ON c.id = u.computers");
  while (query.executeStep()) {
    labels[query.getColumn(0).getInt64()] = {query.getColumn(1).getString(),
                                             query.getColumn(2).getString(),
                                             query.getColumn(3).getString()};
  }
  return labels;
}
