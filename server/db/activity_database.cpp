#include "server/db/activity_database.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <iterator>
#include <stdexcept>

#include "server/db/database_access.h"
#include "server/db/fast_statement.h"

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
class ResetOnExit {
 public:
  explicit ResetOnExit(SQLite::Statement& s) : s_(s) {}
  ~ResetOnExit() { s_.tryReset(); }
  ResetOnExit(const ResetOnExit&) = delete;
  ResetOnExit& operator=(const ResetOnExit&) = delete;

 private:
  SQLite::Statement& s_;
};

// Runs a prepared statement with its bindings already set, collecting its
// rows.
template <typename Row, typename Reader>
std::vector<Row> Collect(SQLite::Statement& s, Reader read) {
  ResetOnExit reset(s);
  std::vector<Row> rows;
  while (s.executeStep()) rows.push_back(read(s));
  return rows;
}

template <typename Row, typename Reader>
std::optional<Row> First(SQLite::Statement& s, Reader read) {
  ResetOnExit reset(s);
  if (s.executeStep()) return read(s);
  return std::nullopt;
}

}  // namespace

// The connection and the statements used per row, prepared once per open.
struct ActivityDatabase::Impl {
  explicit Impl(SQLite::Database&& database) : db(std::move(database)) {}

  SQLite::Statement& Prepared(std::unique_ptr<SQLite::Statement>& slot, const std::string& sql) {
    if (!slot) slot = std::make_unique<SQLite::Statement>(db, sql);
    return *slot;
  }
  FastStatement& Fast(std::unique_ptr<FastStatement>& slot, const std::string& sql) {
    if (!slot) slot = std::make_unique<FastStatement>(db, sql);
    return *slot;
  }

  SQLite::Database db;  // first, so the statements are finalized before it closes
  std::unique_ptr<SQLite::Statement> find_user, find_computer, find_ip;
  std::unique_ptr<SQLite::Statement> get_computer, get_ip;
  std::unique_ptr<SQLite::Statement> insert_computer, insert_ip, insert_user, insert_imported,
      imported_hashes;
  // The inserts of a night's million rows.
  std::unique_ptr<FastStatement> insert_web, insert_filter;
};

ActivityDatabase::ActivityDatabase() = default;
ActivityDatabase::~ActivityDatabase() { Close(); }

bool ActivityDatabase::Open(const std::string& path, std::string* error) {
  // One thread per object (see the header), so SQLite's own locks can go:
  // they cost the night's million inserts a lock and an unlock each.
  return OpenWith(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE | SQLite::OPEN_NOMUTEX, true,
                  error);
}

bool ActivityDatabase::OpenReadOnly(const std::string& path, std::string* error) {
  // One thread per object (see the header), so SQLite's own locks can go.
  return OpenWith(path, SQLite::OPEN_READONLY | SQLite::OPEN_NOMUTEX, false, error);
}

bool ActivityDatabase::OpenWith(const std::string& path, int flags, bool create_schema,
                                std::string* error) {
  Close();
  try {
    auto impl = std::make_unique<Impl>(SQLite::Database(path, flags, kBusyTimeoutMs));
    SQLite::Database& db = impl->db;
    int version = db.execAndGet("PRAGMA user_version").getInt();
    if (version > kSchemaVersion)
      throw std::runtime_error("schema version " + std::to_string(version) +
                               " is newer than this program's " + std::to_string(kSchemaVersion));
    if (create_schema) {
      db.exec("PRAGMA journal_mode=WAL");
      db.exec("PRAGMA foreign_keys=ON");
      db.exec("PRAGMA cache_size=-" + std::to_string(kCacheKiB));
      db.exec("PRAGMA wal_autocheckpoint=16384");
      if (version < kSchemaVersion) Upgrade(db, version);
    } else if (version == 0) {
      throw std::runtime_error("not an activity database");
    } else {
      db.exec("PRAGMA cache_size=-" + std::to_string(kReadOnlyCacheKiB));
    }
    impl_ = std::move(impl);
    return true;
  } catch (const std::exception& e) {
    if (error) *error = path + ": " + e.what();
    return false;
  }
}

void ActivityDatabase::Close() { impl_.reset(); }

bool ActivityDatabase::is_open() const { return impl_ != nullptr; }

ActivityDatabase::Impl& ActivityDatabase::impl() {
  if (!impl_) throw std::runtime_error("activity database is not open");
  return *impl_;
}

SQLite::Database& ActivityDatabaseAccess::Connection(ActivityDatabase& db) { return db.impl().db; }

ActivityDatabase::Transaction::Transaction(ActivityDatabase& db) : db_(db) {
  db_.impl().db.exec("BEGIN IMMEDIATE");
  // References are checked once at the commit, which then fails as a whole,
  // rather than at every insert: an insert that may fail on its own makes
  // SQLite copy each page it changes first, and that cost the nightly
  // import a sixth of its time. SQLite switches this off again at the end.
  db_.impl().db.exec("PRAGMA defer_foreign_keys=ON");
}

ActivityDatabase::Transaction::~Transaction() {
  if (done_ || !db_.is_open()) return;
  try {
    db_.impl().db.exec("ROLLBACK");
  } catch (...) {
    // Nothing to do: a failed rollback leaves SQLite to undo on close.
  }
}

void ActivityDatabase::Transaction::Commit() {
  db_.impl().db.exec("COMMIT");
  done_ = true;
}

std::optional<UserRow> ActivityDatabase::FindUser(const std::string& user_name) {
  SQLite::Statement& s = impl().Prepared(
      impl().find_user, std::string(kUserColumns) + "WHERE user_name=? ORDER BY id LIMIT 1");
  s.bind(1, user_name);
  return First<UserRow>(s, ReadUser);
}

std::optional<ComputerRow> ActivityDatabase::FindComputer(const std::string& computer_name) {
  SQLite::Statement& s =
      impl().Prepared(impl().find_computer,
                      std::string(kComputerColumns) + "WHERE computer_name=? ORDER BY id LIMIT 1");
  s.bind(1, computer_name);
  return First<ComputerRow>(s, ReadComputer);
}

std::optional<IpRow> ActivityDatabase::FindIp(const std::string& ip) {
  SQLite::Statement& s =
      impl().Prepared(impl().find_ip, std::string(kIpColumns) + "WHERE ip=? ORDER BY id LIMIT 1");
  s.bind(1, ip);
  return First<IpRow>(s, ReadIp);
}

std::optional<ComputerRow> ActivityDatabase::GetComputer(int64_t id) {
  SQLite::Statement& s =
      impl().Prepared(impl().get_computer, std::string(kComputerColumns) + "WHERE id=?");
  s.bind(1, id);
  return First<ComputerRow>(s, ReadComputer);
}

std::optional<IpRow> ActivityDatabase::GetIp(int64_t id) {
  SQLite::Statement& s = impl().Prepared(impl().get_ip, std::string(kIpColumns) + "WHERE id=?");
  s.bind(1, id);
  return First<IpRow>(s, ReadIp);
}

namespace {

int64_t Insert(SQLite::Database& db, SQLite::Statement& s) {
  ResetOnExit reset(s);
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

}  // namespace

int64_t ActivityDatabase::InsertComputer(const std::string& computer_name, int32_t status) {
  SQLite::Statement& s = impl().Prepared(
      impl().insert_computer, "INSERT INTO Computer(computer_name, status) VALUES(?, ?)");
  s.bind(1, computer_name);
  s.bind(2, status);
  return Insert(impl().db, s);
}

int64_t ActivityDatabase::InsertIp(const std::string& ip) {
  SQLite::Statement& s = impl().Prepared(impl().insert_ip, "INSERT INTO Ip(ip) VALUES(?)");
  s.bind(1, ip);
  return Insert(impl().db, s);
}

int64_t ActivityDatabase::InsertUser(const std::string& user_name, int32_t active,
                                     std::optional<int64_t> ips, std::optional<int64_t> computers) {
  SQLite::Statement& s =
      impl().Prepared(impl().insert_user,
                      "INSERT INTO \"User\"(user_name, active, ips, computers) VALUES(?, ?, ?, ?)");
  s.bind(1, user_name);
  s.bind(2, active);
  BindOptional(s, 3, ips);
  BindOptional(s, 4, computers);
  return Insert(impl().db, s);
}

int64_t ActivityDatabase::InsertWeb(std::string_view url, int32_t size, dbDateTime time,
                                    int64_t user) {
  FastStatement& s =
      impl().Fast(impl().insert_web, "INSERT INTO Web(url, size, time, users) VALUES(?, ?, ?, ?)");
  s.BindText(1, url);
  s.Bind(2, size);
  s.Bind(3, time.stamp);
  s.Bind(4, user);
  return InsertFast(impl().db, s);
}

int64_t ActivityDatabase::InsertFilterActivity(std::string_view url, dbDateTime time,
                                               std::string_view action, int64_t user) {
  FastStatement& s =
      impl().Fast(impl().insert_filter,
                  "INSERT INTO FilterActivity(url, time, action, users) VALUES(?, ?, ?, ?)");
  s.BindText(1, url);
  s.Bind(2, time.stamp);
  s.BindText(3, action);
  s.Bind(4, user);
  return InsertFast(impl().db, s);
}

void ActivityDatabase::InsertImportedLog(const std::string& name, int64_t size,
                                         const std::string& hash, int64_t time) {
  SQLite::Statement& s = impl().Prepared(
      impl().insert_imported, "INSERT INTO ImportedLog(name, size, hash, time) VALUES(?, ?, ?, ?)");
  s.bind(1, name);
  s.bind(2, size);
  s.bind(3, hash);
  s.bind(4, time);
  Insert(impl().db, s);
}

std::vector<std::string> ActivityDatabase::ImportedLogHashes(const std::string& name,
                                                             int64_t size) {
  SQLite::Statement& s = impl().Prepared(impl().imported_hashes,
                                         "SELECT hash FROM ImportedLog WHERE name=? AND size=?");
  s.bind(1, name);
  s.bind(2, size);
  return Collect<std::string>(s,
                              [](SQLite::Statement& row) { return row.getColumn(0).getString(); });
}

std::vector<UserRow> ActivityDatabase::AllUsers() {
  SQLite::Statement s(impl().db, std::string(kUserColumns) + "ORDER BY id");
  return Collect<UserRow>(s, ReadUser);
}
