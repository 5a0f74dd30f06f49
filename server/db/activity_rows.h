// Rows of the activity database "webfilter.dbs", one struct per table, the
// members in the tables' column order. `id` is the row's identity (INTEGER
// PRIMARY KEY); a reference to another table holds that row's id, or
// nullopt for a null reference (only databases written by other programs
// hold nulls). Plain values.
#ifndef SERVER_DB_ACTIVITY_ROWS_H_
#define SERVER_DB_ACTIVITY_ROWS_H_

#include <cstdint>
#include <optional>
#include <string>

#include "server/db/db_date_time.h"

// Table Computer(id, computer_name, status).
struct ComputerRow {
  int64_t id = 0;
  std::string computer_name;
  int32_t status = 0;
};

// Table User(id, user_name, active, ips -> Ip, computers -> Computer).
// The single references bear plural names; those are the column names.
struct UserRow {
  int64_t id = 0;
  std::string user_name;
  int32_t active = 0;
  std::optional<int64_t> ips;
  std::optional<int64_t> computers;
};

// Table Ip(id, ip).
struct IpRow {
  int64_t id = 0;
  std::string ip;
};

// Table Web(id, url, size, time, users -> User).
struct WebRow {
  int64_t id = 0;
  std::string url;
  int32_t size = 0;
  dbDateTime time;
  std::optional<int64_t> users;
};

// Table FilterActivity(id, url, time, action, users -> User).
struct FilterActivityRow {
  int64_t id = 0;
  std::string url;
  dbDateTime time;
  std::string action;
  std::optional<int64_t> users;
};

// Table ImportedLog(id, name, size, hash, time): a log file the nightly
// import stored, with its content hash and when it was stored.
struct ImportedLogRow {
  int64_t id = 0;
  std::string name;
  int64_t size = 0;
  std::string hash;
  int64_t time = 0;
};

// How much a removal of old activity took away.
struct DeletedActivity {
  int64_t web = 0;
  int64_t filter = 0;
  int64_t total() const { return web + filter; }
};

#endif  // SERVER_DB_ACTIVITY_ROWS_H_
