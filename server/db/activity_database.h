// ActivityDatabase: the activity database, with the tables Computer, User,
// Ip, Web and FilterActivity, kept either in the embedded SQLite file
// "webfilter.dbs" beside the server or in a PostgreSQL database (the value
// ActivityDatabase, see activity_location.h). Opening creates the tables
// when missing and brings an older schema up to date.
//
// A sixth table, ImportedLog, records each log file the nightly import has
// stored (name, size, content hash), written in the same transaction as the
// file's rows, so a file found again after a crash is known as imported.
//
// Errors: Open returns false and says why. Every other call throws
// std::runtime_error when the database fails; callers contain it per unit
// of work. Calling anything but Open on a closed object throws too.
//
// Ownership and threads: one object owns one connection; use it from one
// thread at a time. Several objects (in one or several processes) may have
// the same database open.
//
// Every query lives in this folder: the members below and the operations
// beside them (read_activity_of_period.h, read_filter_events_of_period.h,
// delete_activity_before.h, copy_activity_database.h) ask the store behind
// the object (activity_backend.h) by name.
#ifndef SERVER_DB_ACTIVITY_DATABASE_H_
#define SERVER_DB_ACTIVITY_DATABASE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/db/activity_location.h"
#include "server/db/activity_rows.h"

class ActivityBackend;

class ActivityDatabase {
 public:
  static constexpr const char* kFileName = "webfilter.dbs";  // in the install folder
  // 1: the tables with an index on every column. 2: Web and FilterActivity
  // indexed by user then time only (what the reads and the removal use).
  // 3: ImportedLog added.
  static constexpr int kSchemaVersion = 3;
  static constexpr int kBusyTimeoutMs = 10000;
  // Page cache per open object (at most). A night's import appends to the
  // tables and their user-then-time indexes; beyond this size more cache
  // buys it nothing but memory.
  static constexpr int kCacheKiB = 65536;
  static constexpr int kReadOnlyCacheKiB = 32768;  // the same for OpenReadOnly

  ActivityDatabase();
  ActivityDatabase(const ActivityDatabase&) = delete;
  ActivityDatabase& operator=(const ActivityDatabase&) = delete;
  ~ActivityDatabase();

  // Opens the SQLite file `path` for reading and writing, creating the file
  // and its tables when missing and bringing an older schema up to date.
  // False (with `error` set) when it cannot be opened or holds a schema
  // newer than this program knows.
  bool Open(const std::string& path, std::string* error);
  // Opens an existing SQLite file for reading only (never creates or
  // upgrades it; an older schema is read as it is).
  bool OpenReadOnly(const std::string& path, std::string* error);
  // The same for either store. A PostgreSQL database gets its schema and
  // tables on first use either way; `error` says why it cannot be reached.
  bool Open(const ActivityLocation& location, std::string* error);
  bool OpenReadOnly(const ActivityLocation& location, std::string* error);
  // Opens, for reading, the tables of another site that shares the
  // PostgreSQL database of `location`, in the schema `schema`; never
  // creates anything. False when `location` is not PostgreSQL, the server
  // cannot be reached, or the schema holds no tables of this product.
  bool OpenSite(const ActivityLocation& location, const std::string& schema, std::string* error);
  void Close();
  bool is_open() const;

  // Asked while a PostgreSQL statement runs; true cancels it (the call then
  // throws), so that a stop never waits on the database. Empty: never.
  void CancelWhen(std::function<bool()> stop_requested);

  // A transaction; rolled back when destroyed without Commit. Only one may
  // be active per database object.
  class Transaction {
   public:
    explicit Transaction(ActivityDatabase& db);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    void Commit();

   private:
    ActivityDatabase& db_;
    bool done_ = false;
  };

  // Lookups by key: the first matching row (lowest id), if any.
  std::optional<UserRow> FindUser(const std::string& user_name);
  std::optional<ComputerRow> FindComputer(const std::string& computer_name);
  std::optional<IpRow> FindIp(const std::string& ip);

  // Lookups by identity.
  std::optional<ComputerRow> GetComputer(int64_t id);
  std::optional<IpRow> GetIp(int64_t id);

  // Inserts; each returns the new row's id. A reference id must name an
  // existing row of its table (nullopt stores a null reference).
  int64_t InsertComputer(const std::string& computer_name, int32_t status);
  int64_t InsertIp(const std::string& ip);
  int64_t InsertUser(const std::string& user_name, int32_t active, std::optional<int64_t> ips,
                     std::optional<int64_t> computers);
  // The activity rows, millions a night. Inside a transaction a store may
  // keep them until the commit, which then fails as a whole on a reference
  // to no user; outside one they are stored at once.
  void InsertWeb(std::string_view url, int32_t size, dbDateTime time, int64_t user);
  void InsertFilterActivity(std::string_view url, dbDateTime time, std::string_view action,
                            int64_t user);

  // The import's record of the log files it has stored.
  void InsertImportedLog(const std::string& name, int64_t size, const std::string& hash,
                         int64_t time);
  // The content hashes recorded for a file of this name and size (usually
  // none, so the caller hashes a file only when a record could match).
  std::vector<std::string> ImportedLogHashes(const std::string& name, int64_t size);

  // The whole User table, in id order (the order in which rows were
  // inserted).
  std::vector<UserRow> AllUsers();

 private:
  friend class ActivityDatabaseAccess;
  ActivityBackend& backend();

  std::unique_ptr<ActivityBackend> backend_;
};

#endif  // SERVER_DB_ACTIVITY_DATABASE_H_
