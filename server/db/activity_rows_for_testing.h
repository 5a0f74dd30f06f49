// Reads of the activity database that only tests make: whole tables and the
// relation arrays, on a connection of the test's own, which may also plant
// a trigger to make a write fail. Header only; no program links it.
#ifndef SERVER_DB_ACTIVITY_ROWS_FOR_TESTING_H_
#define SERVER_DB_ACTIVITY_ROWS_FOR_TESTING_H_

#include <SQLiteCpp/SQLiteCpp.h>

#include <cstdint>
#include <string>
#include <vector>

#include "server/db/activity_database.h"
#include "server/db/activity_rows.h"

class ActivityRowsForTesting {
 public:
  // `path` must exist (open it with ActivityDatabase first).
  explicit ActivityRowsForTesting(const std::string& path)
      : db_(path, SQLite::OPEN_READWRITE, ActivityDatabase::kBusyTimeoutMs) {}

  std::vector<ComputerRow> AllComputers() {
    return Rows<ComputerRow>("SELECT id, computer_name, status FROM Computer ORDER BY id");
  }
  std::vector<IpRow> AllIps() { return Rows<IpRow>("SELECT id, ip FROM Ip ORDER BY id"); }
  std::vector<UserRow> UsersOfComputer(int64_t id) {
    return Rows<UserRow>(kUsers + std::string("WHERE computers=? ORDER BY id"), id);
  }
  std::vector<UserRow> UsersOfIp(int64_t id) {
    return Rows<UserRow>(kUsers + std::string("WHERE ips=? ORDER BY id"), id);
  }
  std::vector<WebRow> WebsOfUser(int64_t id) {
    return Rows<WebRow>("SELECT id, url, size, time, users FROM Web WHERE users=? ORDER BY id", id);
  }
  std::vector<FilterActivityRow> FilterActivityOfUser(int64_t id) {
    return Rows<FilterActivityRow>(
        "SELECT id, url, time, action, users FROM FilterActivity WHERE users=? ORDER BY id", id);
  }
  // A number the query gives, such as a count.
  int64_t Number(const std::string& sql) { return db_.execAndGet(sql).getInt64(); }
  SQLite::Database& connection() { return db_; }

 private:
  static constexpr const char* kUsers =
      "SELECT id, user_name, active, ips, computers FROM \"User\" ";

  static std::optional<int64_t> Id(const SQLite::Column& c) {
    if (c.isNull()) return std::nullopt;
    return c.getInt64();
  }
  static void Read(SQLite::Statement& s, ComputerRow* r) {
    *r = {s.getColumn(0).getInt64(), s.getColumn(1).getString(), s.getColumn(2).getInt()};
  }
  static void Read(SQLite::Statement& s, IpRow* r) {
    *r = {s.getColumn(0).getInt64(), s.getColumn(1).getString()};
  }
  static void Read(SQLite::Statement& s, UserRow* r) {
    *r = {s.getColumn(0).getInt64(), s.getColumn(1).getString(), s.getColumn(2).getInt(),
          Id(s.getColumn(3)), Id(s.getColumn(4))};
  }
  static void Read(SQLite::Statement& s, WebRow* r) {
    *r = {s.getColumn(0).getInt64(), s.getColumn(1).getString(), s.getColumn(2).getInt(),
          dbDateTime(s.getColumn(3).getInt64()), Id(s.getColumn(4))};
  }
  static void Read(SQLite::Statement& s, FilterActivityRow* r) {
    *r = {s.getColumn(0).getInt64(), s.getColumn(1).getString(),
          dbDateTime(s.getColumn(2).getInt64()), s.getColumn(3).getString(), Id(s.getColumn(4))};
  }
  template <typename Row, typename... Args>
  std::vector<Row> Rows(const std::string& sql, Args... args) {
    SQLite::Statement s(db_, sql);
    int index = 1;
    (s.bind(index++, args), ...);
    std::vector<Row> rows;
    while (s.executeStep()) {
      rows.emplace_back();
      Read(s, &rows.back());
    }
    return rows;
  }

  SQLite::Database db_;
};

#endif  // SERVER_DB_ACTIVITY_ROWS_FOR_TESTING_H_
