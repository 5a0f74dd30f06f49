#include "server/db/sqlite_user_activity.h"

#include "server/db/fast_statement.h"

namespace {

// The ids of the name's User rows, as a subquery with the name as its one
// parameter (index on user_name).
const char kUsersOfName[] = "users IN (SELECT id FROM \"User\" WHERE user_name = ?1)";

// Name and count pairs of a query whose parameters are the name, from, to.
std::vector<NamedCount> Counts(SQLite::Database& db, const std::string& sql,
                               const std::string& user_name, int64_t from, int64_t to) {
  FastStatement rows(db, sql);
  rows.BindText(1, user_name);
  rows.Bind(2, from);
  rows.Bind(3, to);
  std::vector<NamedCount> counts;
  while (rows.Step()) counts.push_back({std::string(rows.Text(0)), rows.Int(1)});
  return counts;
}

}  // namespace

std::vector<UserLabel> SqliteLabelsOfName(SQLite::Database& db, const std::string& user_name) {
  FastStatement rows(db,
                     "SELECT i.ip, c.computer_name FROM \"User\" u"
                     " LEFT JOIN Ip i ON i.id = u.ips LEFT JOIN Computer c ON c.id = u.computers"
                     " WHERE u.user_name = ?1 ORDER BY u.id");
  rows.BindText(1, user_name);
  std::vector<UserLabel> labels;
  while (rows.Step())
    labels.push_back({user_name, std::string(rows.Text(0)), std::string(rows.Text(1))});
  return labels;
}

std::vector<NamedCount> SqliteSitesOfName(SQLite::Database& db, const std::string& user_name,
                                          int64_t from, int64_t to) {
  return Counts(db,
                std::string("SELECT url, sum(size) FROM Web WHERE ") + kUsersOfName +
                    " AND time >= ?2 AND time < ?3 GROUP BY 1",
                user_name, from, to);
}

std::vector<NamedCount> SqliteActionsOfName(SQLite::Database& db, const std::string& user_name,
                                            int64_t from, int64_t to) {
  return Counts(db,
                std::string("SELECT action, count(*) FROM FilterActivity WHERE ") + kUsersOfName +
                    " AND time >= ?2 AND time < ?3 GROUP BY 1",
                user_name, from, to);
}

std::vector<FilterActivityRow> SqliteLatestEventsOfName(SQLite::Database& db,
                                                        const std::string& user_name, int64_t from,
                                                        int64_t to, size_t latest) {
  FastStatement rows(db, std::string("SELECT id, url, time, action, users FROM FilterActivity"
                                     " WHERE ") +
                             kUsersOfName +
                             " AND time >= ?2 AND time < ?3 ORDER BY time DESC, id DESC LIMIT ?4");
  rows.BindText(1, user_name);
  rows.Bind(2, from);
  rows.Bind(3, to);
  rows.Bind(4, static_cast<int64_t>(latest));
  std::vector<FilterActivityRow> events;
  while (rows.Step()) {
    events.push_back({rows.Int(0), std::string(rows.Text(1)), dbDateTime(rows.Int(2)),
                      std::string(rows.Text(3)), rows.Int(4)});
  }
  return events;
}
