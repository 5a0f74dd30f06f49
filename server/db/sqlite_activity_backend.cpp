#include "server/db/sqlite_activity_backend.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <iterator>
#include <stdexcept>

#include "platform/scope_exit.h"
#include "server/db/activity_database.h"
#include "server/db/fast_statement.h"
#include "server/db/owner_only_database.h"
#include "server/db/sqlite_delete_old_activity.h"
#include "server/db/sqlite_report_users.h"
#include "server/db/sqlite_user_activity.h"

namespace {

// The schema, one step per version: step i brings a file of version i to
// version i + 1. Column order as every reader of the file expects it; the
// relation arrays are answered by the indexes on the reference columns.
const char* const kVersion1[] = {
    "CREATE TABLE IF NOT EXISTS Computer(id INTEGER PRIMARY KEY, computer_name TEXT,"
    " status INTEGER)",
    "CREATE TABLE IF NOT EXISTS Ip(id INTEGER PRIMARY KEY, ip TEXT)",
    "CREATE TABLE IF NOT EXISTS \"User\"(id INTEGER PRIMARY KEY, user_name TEXT,"
    " active INTEGER, ips INTEGER REFERENCES Ip(id),"
    " computers INTEGER REFERENCES Computer(id))",
    "CREATE TABLE IF NOT EXISTS Web(id INTEGER PRIMARY KEY, url TEXT, size INTEGER,"
    " time INTEGER, users INTEGER REFERENCES \"User\"(id))",
    "CREATE TABLE IF NOT EXISTS FilterActivity(id INTEGER PRIMARY KEY, url TEXT,"
    " time INTEGER, action TEXT, users INTEGER REFERENCES \"User\"(id))",
    "CREATE INDEX IF NOT EXISTS Computer_computer_name ON Computer(computer_name)",
    "CREATE INDEX IF NOT EXISTS Computer_status ON Computer(status)",
    "CREATE INDEX IF NOT EXISTS Ip_ip ON Ip(ip)",
    "CREATE INDEX IF NOT EXISTS User_user_name ON \"User\"(user_name)",
    "CREATE INDEX IF NOT EXISTS User_active ON \"User\"(active)",
    "CREATE INDEX IF NOT EXISTS User_ips ON \"User\"(ips)",
    "CREATE INDEX IF NOT EXISTS User_computers ON \"User\"(computers)",
    "CREATE INDEX IF NOT EXISTS Web_url ON Web(url)",
    "CREATE INDEX IF NOT EXISTS Web_size ON Web(size)",
    "CREATE INDEX IF NOT EXISTS Web_time ON Web(time)",
    "CREATE INDEX IF NOT EXISTS Web_users ON Web(users)",
    "CREATE INDEX IF NOT EXISTS FilterActivity_url ON FilterActivity(url)",
    "CREATE INDEX IF NOT EXISTS FilterActivity_time ON FilterActivity(time)",
    "CREATE INDEX IF NOT EXISTS FilterActivity_action ON FilterActivity(action)",
    "CREATE INDEX IF NOT EXISTS FilterActivity_users ON FilterActivity(users)",
};

// Web and FilterActivity keep one index each, user then time: the reports
// read a user's rows of a period, and the removal of old rows goes user by
// user. Nothing looks rows up by address, size, action or time alone, and
// every index costs the nightly import a B-tree insert per row and the file
// its pages.
const char* const kVersion2[] = {
    "DROP INDEX IF EXISTS Web_url",
    "DROP INDEX IF EXISTS Web_size",
    "DROP INDEX IF EXISTS Web_time",
    "DROP INDEX IF EXISTS Web_users",
    "DROP INDEX IF EXISTS FilterActivity_url",
    "DROP INDEX IF EXISTS FilterActivity_time",
    "DROP INDEX IF EXISTS FilterActivity_action",
    "DROP INDEX IF EXISTS FilterActivity_users",
    "CREATE INDEX IF NOT EXISTS Web_users_time ON Web(users, time)",
    "CREATE INDEX IF NOT EXISTS FilterActivity_users_time ON FilterActivity(users, time)",
};

// The nightly import's record of the logs it stored, written with their
// rows, so a log found again is not counted twice.
const char* const kVersion3[] = {
    "CREATE TABLE IF NOT EXISTS ImportedLog(id INTEGER PRIMARY KEY, name TEXT, size INTEGER,"
    " hash TEXT, time INTEGER)",
    "CREATE INDEX IF NOT EXISTS ImportedLog_name_size ON ImportedLog(name, size)",
};

struct SchemaStep {
  const char* const* begin;
  const char* const* end;
};

const SchemaStep kSchemaSteps[] = {
    {std::begin(kVersion1), std::end(kVersion1)},
    {std::begin(kVersion2), std::end(kVersion2)},
    {std::begin(kVersion3), std::end(kVersion3)},
};
static_assert(std::size(kSchemaSteps) == ActivityDatabase::kSchemaVersion);

// Brings the file from `version` to the current one in one transaction.
void Upgrade(SQLite::Database& db, int version) {
  SQLite::Transaction transaction(db);
  for (int step = version; step < ActivityDatabase::kSchemaVersion; ++step) {
    for (const char* const* sql = kSchemaSteps[step].begin; sql != kSchemaSteps[step].end; ++sql)
      db.exec(*sql);
  }
  db.exec("PRAGMA user_version=" + std::to_string(ActivityDatabase::kSchemaVersion));
  transaction.commit();
}

const char kComputerColumns[] = "SELECT id, computer_name, status FROM Computer ";
const char kIpColumns[] = "SELECT id, ip FROM Ip ";
const char kUserColumns[] = "SELECT id, user_name, active, ips, computers FROM \"User\" ";

std::optional<int64_t> OptionalId(const SQLite::Column& column) {
  if (column.isNull()) return std::nullopt;
  return column.getInt64();
}

UserRow ReadUser(SQLite::Statement& s) {
  return UserRow{s.getColumn(0).getInt64(), s.getColumn(1).getString(), s.getColumn(2).getInt(),
                 OptionalId(s.getColumn(3)), OptionalId(s.getColumn(4))};
}

ComputerRow ReadComputer(SQLite::Statement& s) {
  return ComputerRow{s.getColumn(0).getInt64(), s.getColumn(1).getString(),
                     s.getColumn(2).getInt()};
}

IpRow ReadIp(SQLite::Statement& s) {
  return IpRow{s.getColumn(0).getInt64(), s.getColumn(1).getString()};
}

void BindOptional(SQLite::Statement& s, int index, std::optional<int64_t> id) {
  if (id)
    s.bind(index, *id);
  else
    s.bind(index);
}

// Leaves a prepared statement reset for its next use however the use ends.
auto ResetOnExit(SQLite::Statement& s) {
  return platform::ScopeExit([&s] { s.tryReset(); });
}

// Runs a prepared statement with its bindings already set, collecting its
// rows.
template <typename Row, typename Reader>
std::vector<Row> Collect(SQLite::Statement& s, Reader read) {
  auto reset = ResetOnExit(s);
  std::vector<Row> rows;
  while (s.executeStep()) rows.push_back(read(s));
  return rows;
}

template <typename Row, typename Reader>
std::optional<Row> First(SQLite::Statement& s, Reader read) {
  auto reset = ResetOnExit(s);
  if (s.executeStep()) return read(s);
  return std::nullopt;
}

int64_t Insert(SQLite::Database& db, SQLite::Statement& s) {
  auto reset = ResetOnExit(s);
  s.exec();
  return db.getLastInsertRowid();
}

int64_t InsertFast(SQLite::Database& db, FastStatement& s) {
  struct ResetFast {
    FastStatement& s;
    ~ResetFast() { s.Reset(); }
  } reset{s};
  s.Step();
  return db.getLastInsertRowid();
}

// The connection and the statements used per row, prepared once per open.
class SqliteActivityBackend final : public ActivityBackend {
 public:
  explicit SqliteActivityBackend(SQLite::Database&& database) : db_(std::move(database)) {}

  SQLite::Database& db() { return db_; }

  void Begin() override {
    db_.exec("BEGIN IMMEDIATE");
    // References are checked once at the commit, which then fails as a
    // whole, rather than at every insert: an insert that may fail on its
    // own makes SQLite copy each page it changes first, and that cost the
    // nightly import a sixth of its time. SQLite switches this off again at
    // the end.
    db_.exec("PRAGMA defer_foreign_keys=ON");
  }
  void Commit() override { db_.exec("COMMIT"); }
  void Rollback() noexcept override {
    try {
      db_.exec("ROLLBACK");
    } catch (...) {
      // Nothing to do: a failed rollback leaves SQLite to undo on close.
    }
  }

  std::optional<UserRow> FindUser(const std::string& user_name) override {
    SQLite::Statement& s =
        Prepared(find_user_, std::string(kUserColumns) + "WHERE user_name=? ORDER BY id LIMIT 1");
    s.bind(1, user_name);
    return First<UserRow>(s, ReadUser);
  }

  std::optional<ComputerRow> FindComputer(const std::string& computer_name) override {
    SQLite::Statement& s =
        Prepared(find_computer_,
                 std::string(kComputerColumns) + "WHERE computer_name=? ORDER BY id LIMIT 1");
    s.bind(1, computer_name);
    return First<ComputerRow>(s, ReadComputer);
  }

  std::optional<IpRow> FindIp(const std::string& ip) override {
    SQLite::Statement& s =
        Prepared(find_ip_, std::string(kIpColumns) + "WHERE ip=? ORDER BY id LIMIT 1");
    s.bind(1, ip);
    return First<IpRow>(s, ReadIp);
  }

  std::optional<ComputerRow> GetComputer(int64_t id) override {
    SQLite::Statement& s = Prepared(get_computer_, std::string(kComputerColumns) + "WHERE id=?");
    s.bind(1, id);
    return First<ComputerRow>(s, ReadComputer);
  }

  std::optional<IpRow> GetIp(int64_t id) override {
    SQLite::Statement& s = Prepared(get_ip_, std::string(kIpColumns) + "WHERE id=?");
    s.bind(1, id);
    return First<IpRow>(s, ReadIp);
  }

  int64_t InsertComputer(const std::string& computer_name, int32_t status) override {
    SQLite::Statement& s =
        Prepared(insert_computer_, "INSERT INTO Computer(computer_name, status) VALUES(?, ?)");
    s.bind(1, computer_name);
    s.bind(2, status);
    return Insert(db_, s);
  }

  int64_t InsertIp(const std::string& ip) override {
    SQLite::Statement& s = Prepared(insert_ip_, "INSERT INTO Ip(ip) VALUES(?)");
    s.bind(1, ip);
    return Insert(db_, s);
  }

  int64_t InsertUser(const std::string& user_name, int32_t active, std::optional<int64_t> ips,
                     std::optional<int64_t> computers) override {
    SQLite::Statement& s = Prepared(
        insert_user_, "INSERT INTO \"User\"(user_name, active, ips, computers) VALUES(?, ?, ?, ?)");
    s.bind(1, user_name);
    s.bind(2, active);
    BindOptional(s, 3, ips);
    BindOptional(s, 4, computers);
    return Insert(db_, s);
  }

  void InsertWeb(std::string_view url, int32_t size, dbDateTime time, int64_t user) override {
    FastStatement& s =
        Fast(insert_web_, "INSERT INTO Web(url, size, time, users) VALUES(?, ?, ?, ?)");
    s.BindText(1, url);
    s.Bind(2, size);
    s.Bind(3, time.stamp);
    s.Bind(4, user);
    InsertFast(db_, s);
  }

  void InsertFilterActivity(std::string_view url, dbDateTime time, std::string_view action,
                            int64_t user) override {
    FastStatement& s = Fast(
        insert_filter_, "INSERT INTO FilterActivity(url, time, action, users) VALUES(?, ?, ?, ?)");
    s.BindText(1, url);
    s.Bind(2, time.stamp);
    s.BindText(3, action);
    s.Bind(4, user);
    InsertFast(db_, s);
  }

  void InsertImportedLog(const std::string& name, int64_t size, const std::string& hash,
                         int64_t time) override {
    SQLite::Statement& s = Prepared(
        insert_imported_, "INSERT INTO ImportedLog(name, size, hash, time) VALUES(?, ?, ?, ?)");
    s.bind(1, name);
    s.bind(2, size);
    s.bind(3, hash);
    s.bind(4, time);
    Insert(db_, s);
  }

  std::vector<std::string> ImportedLogHashes(const std::string& name, int64_t size) override {
    SQLite::Statement& s =
        Prepared(imported_hashes_, "SELECT hash FROM ImportedLog WHERE name=? AND size=?");
    s.bind(1, name);
    s.bind(2, size);
    return Collect<std::string>(
        s, [](SQLite::Statement& row) { return row.getColumn(0).getString(); });
  }

  std::vector<UserRow> AllUsers() override {
    SQLite::Statement s(db_, std::string(kUserColumns) + "ORDER BY id");
    return Collect<UserRow>(s, ReadUser);
  }

  std::unordered_map<int64_t, UserLabel> AllUserLabels() override { return ReadUserLabels(db_); }

  // User by user through the index on user then time: one seek per user.
  void ScanWebOfPeriod(int64_t from, int64_t to, const WebVisitor& visit) override {
    FastStatement rows(db_,
                       "SELECT url, size FROM Web WHERE users IS ? AND time >= ? AND time < ?");
    for (std::optional<int64_t> user : UsersWithRows(db_, "Web")) {
      rows.BindUser(1, user);
      rows.Bind(2, from);
      rows.Bind(3, to);
      while (rows.Step()) visit(user, rows.Text(0), rows.Int(1));
      rows.Reset();
    }
  }

  void ScanFilterEventsOfPeriod(int64_t from, int64_t to, const FilterVisitor& visit) override {
    FastStatement rows(db_,
                       "SELECT id, url, time, action FROM FilterActivity"
                       " WHERE users IS ? AND time >= ? AND time < ? ORDER BY time DESC, id DESC");
    for (std::optional<int64_t> user : UsersWithRows(db_, "FilterActivity")) {
      rows.BindUser(1, user);
      rows.Bind(2, from);
      rows.Bind(3, to);
      while (rows.Step()) visit(user, rows.Int(0), rows.Text(1), rows.Int(2), rows.Text(3));
      rows.Reset();
    }
  }

  // User by user through the index on user then time, as the other reads
  // of a period: the file has no index on time alone. The slots are summed
  // here, in a vector of the period's slots, rather than by a GROUP BY that
  // sorts each user's rows again.
  std::vector<std::pair<int64_t, int64_t>> ActivityPerSlot(Table table, int64_t from, int64_t to,
                                                           int64_t slot,
                                                           const std::string* user_name) override {
    const bool web = table == Table::kWeb;
    const std::string select = std::string("SELECT time, ") +
                               (web ? "size FROM Web" : "1 FROM FilterActivity") +
                               " WHERE time >= ?2 AND time < ?3 AND ";
    std::vector<int64_t> sums(
        to > from && slot > 0 ? static_cast<size_t>((to - from + slot - 1) / slot) : 0, 0);
    auto take = [&](FastStatement& rows) {
      rows.Bind(2, from);
      rows.Bind(3, to);
      while (rows.Step()) {
        const int64_t index = (rows.Int(0) - from) / slot;
        if (index >= 0 && static_cast<size_t>(index) < sums.size())
          sums[static_cast<size_t>(index)] += rows.Int(1);
      }
      rows.Reset();
    };
    if (user_name) {
      FastStatement rows(db_, select + "users IN (SELECT id FROM \"User\" WHERE user_name = ?1)");
      rows.BindText(1, *user_name);
      take(rows);
    } else {
      FastStatement rows(db_, select + "users IS ?1");
      for (std::optional<int64_t> user : UsersWithRows(db_, web ? "Web" : "FilterActivity")) {
        rows.BindUser(1, user);
        take(rows);
      }
    }
    std::vector<std::pair<int64_t, int64_t>> slots;
    for (size_t i = 0; i < sums.size(); ++i)
      if (sums[i] != 0) slots.emplace_back(static_cast<int64_t>(i), sums[i]);
    return slots;
  }

  std::vector<UserLabel> LabelsOfName(const std::string& user_name) override {
    return SqliteLabelsOfName(db_, user_name);
  }
  std::vector<NamedCount> SitesOfName(const std::string& user_name, int64_t from,
                                      int64_t to) override {
    return SqliteSitesOfName(db_, user_name, from, to);
  }
  std::vector<NamedCount> ActionsOfName(const std::string& user_name, int64_t from,
                                        int64_t to) override {
    return SqliteActionsOfName(db_, user_name, from, to);
  }
  std::vector<FilterActivityRow> LatestEventsOfName(const std::string& user_name, int64_t from,
                                                    int64_t to, size_t latest) override {
    return SqliteLatestEventsOfName(db_, user_name, from, to, latest);
  }

  DeletedActivity DeleteActivityBefore(int64_t cutoff, size_t batch_rows,
                                       const std::function<bool()>& go_on) override {
    return SqliteDeleteActivityBefore(db_, cutoff, batch_rows, go_on);
  }

  bool HoldsActivity() override {
    for (const char* table : {"Computer", "Ip", "\"User\"", "Web", "FilterActivity"}) {
      SQLite::Statement any(db_, std::string("SELECT 1 FROM ") + table + " LIMIT 1");
      if (any.executeStep()) return true;
    }
    return false;
  }

  void ReadAllRows(ActivityRowSink& sink) override;
  std::unique_ptr<ActivityRowSink> RowsKeepingIds() override;

 private:
  SQLite::Statement& Prepared(std::unique_ptr<SQLite::Statement>& slot, const std::string& sql) {
    if (!slot) slot = std::make_unique<SQLite::Statement>(db_, sql);
    return *slot;
  }
  FastStatement& Fast(std::unique_ptr<FastStatement>& slot, const std::string& sql) {
    if (!slot) slot = std::make_unique<FastStatement>(db_, sql);
    return *slot;
  }

  SQLite::Database db_;  // first, so the statements are finalized before it closes
  std::unique_ptr<SQLite::Statement> find_user_, find_computer_, find_ip_;
  std::unique_ptr<SQLite::Statement> get_computer_, get_ip_;
  std::unique_ptr<SQLite::Statement> insert_computer_, insert_ip_, insert_user_, insert_imported_,
      imported_hashes_;
  // The inserts of a night's million rows.
  std::unique_ptr<FastStatement> insert_web_, insert_filter_;
};

std::optional<int64_t> OptionalInt(FastStatement& s, int column, bool is_null) {
  if (is_null) return std::nullopt;
  return s.Int(column);
}

void SqliteActivityBackend::ReadAllRows(ActivityRowSink& sink) {
  SQLite::Statement computers(db_, std::string(kComputerColumns) + "ORDER BY id");
  while (computers.executeStep()) sink.Put(ReadComputer(computers));
  SQLite::Statement ips(db_, std::string(kIpColumns) + "ORDER BY id");
  while (ips.executeStep()) sink.Put(ReadIp(ips));
  for (const UserRow& row : AllUsers()) sink.Put(row);
  // The big tables stream, row by row.
  FastStatement web(db_, "SELECT id, url, size, time, users, users IS NULL FROM Web ORDER BY id");
  while (web.Step()) {
    sink.Put(WebRow{web.Int(0), std::string(web.Text(1)), static_cast<int32_t>(web.Int(2)),
                    dbDateTime(web.Int(3)), OptionalInt(web, 4, web.Int(5) != 0)});
  }
  FastStatement filter(
      db_, "SELECT id, url, time, action, users, users IS NULL FROM FilterActivity ORDER BY id");
  while (filter.Step()) {
    sink.Put(FilterActivityRow{filter.Int(0), std::string(filter.Text(1)),
                               dbDateTime(filter.Int(2)), std::string(filter.Text(3)),
                               OptionalInt(filter, 4, filter.Int(5) != 0)});
  }
  SQLite::Statement logs(db_, "SELECT id, name, size, hash, time FROM ImportedLog ORDER BY id");
  while (logs.executeStep()) {
    sink.Put(ImportedLogRow{logs.getColumn(0).getInt64(), logs.getColumn(1).getString(),
                            logs.getColumn(2).getInt64(), logs.getColumn(3).getString(),
                            logs.getColumn(4).getInt64()});
  }
}

// Inserts with the ids given; SQLite gives later rows ids above the
// largest.
class SqliteRowsKeepingIds final : public ActivityRowSink {
 public:
  explicit SqliteRowsKeepingIds(SQLite::Database& db)
      : computer_(db, "INSERT INTO Computer(id, computer_name, status) VALUES(?, ?, ?)"),
        ip_(db, "INSERT INTO Ip(id, ip) VALUES(?, ?)"),
        user_(db, "INSERT INTO \"User\"(id, user_name, active, ips, computers) VALUES(?,?,?,?,?)"),
        web_(db, "INSERT INTO Web(id, url, size, time, users) VALUES(?, ?, ?, ?, ?)"),
        filter_(db, "INSERT INTO FilterActivity(id, url, time, action, users) VALUES(?,?,?,?,?)"),
        log_(db, "INSERT INTO ImportedLog(id, name, size, hash, time) VALUES(?, ?, ?, ?, ?)") {}

  void Put(const ComputerRow& row) override {
    Run(computer_, row.id, row.computer_name, int64_t{row.status});
  }
  void Put(const IpRow& row) override { Run(ip_, row.id, row.ip); }
  void Put(const UserRow& row) override {
    user_.bind(1, row.id);
    user_.bind(2, row.user_name);
    user_.bind(3, row.active);
    BindOptional(user_, 4, row.ips);
    BindOptional(user_, 5, row.computers);
    Exec(user_);
  }
  void Put(const WebRow& row) override {
    BindOptional(web_, 5, row.users);
    Run(web_, row.id, row.url, int64_t{row.size}, row.time.stamp);
  }
  void Put(const FilterActivityRow& row) override {
    BindOptional(filter_, 5, row.users);
    Run(filter_, row.id, row.url, row.time.stamp, row.action);
  }
  void Put(const ImportedLogRow& row) override {
    Run(log_, row.id, row.name, row.size, row.hash, row.time);
  }
  void Finish() override {}

 private:
  template <typename... Values>
  static void Run(SQLite::Statement& s, const Values&... values) {
    int index = 0;
    (s.bind(++index, values), ...);
    Exec(s);
  }
  static void Exec(SQLite::Statement& s) {
    auto reset = ResetOnExit(s);
    s.exec();
  }

  SQLite::Statement computer_, ip_, user_, web_, filter_, log_;
};

std::unique_ptr<ActivityRowSink> SqliteActivityBackend::RowsKeepingIds() {
  return std::make_unique<SqliteRowsKeepingIds>(db_);
}

// One thread per object (see the header), so SQLite's own locks can go:
// they cost the night's million inserts a lock and an unlock each.
std::unique_ptr<SqliteActivityBackend> OpenWith(const std::string& path, bool read_only) {
  MakeDatabaseOwnerOnly(path, !read_only);
  const int flags = read_only ? SQLite::OPEN_READONLY | SQLite::OPEN_NOMUTEX
                              : SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE | SQLite::OPEN_NOMUTEX;
  auto backend = std::make_unique<SqliteActivityBackend>(
      SQLite::Database(path, flags, ActivityDatabase::kBusyTimeoutMs));
  SQLite::Database& db = backend->db();
  int version = db.execAndGet("PRAGMA user_version").getInt();
  if (version > ActivityDatabase::kSchemaVersion)
    throw std::runtime_error("schema version " + std::to_string(version) +
                             " is newer than this program's " +
                             std::to_string(ActivityDatabase::kSchemaVersion));
  if (!read_only) {
    db.exec("PRAGMA journal_mode=WAL");
    db.exec("PRAGMA foreign_keys=ON");
    db.exec("PRAGMA cache_size=-" + std::to_string(ActivityDatabase::kCacheKiB));
    db.exec("PRAGMA wal_autocheckpoint=16384");
    if (version < ActivityDatabase::kSchemaVersion) Upgrade(db, version);
  } else if (version == 0) {
    throw std::runtime_error("not an activity database");
  } else {
    db.exec("PRAGMA cache_size=-" + std::to_string(ActivityDatabase::kReadOnlyCacheKiB));
  }
  return backend;
}

}  // namespace

std::unique_ptr<ActivityBackend> OpenSqliteActivityBackend(const std::string& path, bool read_only,
                                                           std::string* error) {
  try {
    return OpenWith(path, read_only);
  } catch (const std::exception& e) {
    if (error) *error = path + ": " + e.what();
    return nullptr;
  }
}
