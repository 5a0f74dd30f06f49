// ActivityBackend: a store of the activity tables (Computer, Ip, User, Web,
// FilterActivity and the record of imported logs), as the named operations
// of this folder use it. Two stores implement it: the embedded SQLite file
// (sqlite_activity_backend.h) and a PostgreSQL database
// (postgres_activity_backend.h). Both hold the same tables with the same
// fields and meaning, and pass the same tests.
//
// Callers outside this folder never see a backend: they hold an
// ActivityDatabase and call its members or the operations beside it
// (ReadActivityOfPeriod, DeleteActivityBefore, CopyActivityDatabase...).
//
// Errors throw std::runtime_error. One thread at a time per object.
#ifndef SERVER_DB_ACTIVITY_BACKEND_H_
#define SERVER_DB_ACTIVITY_BACKEND_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "server/db/activity_rows.h"
#include "server/db/report_rows.h"

// Receives every row of a database, with its id, table by table in the
// order Computer, Ip, User, Web, FilterActivity, ImportedLog (so that each
// reference names a row already given).
class ActivityRowSink {
 public:
  virtual ~ActivityRowSink() = default;
  virtual void Put(const ComputerRow& row) = 0;
  virtual void Put(const IpRow& row) = 0;
  virtual void Put(const UserRow& row) = 0;
  virtual void Put(const WebRow& row) = 0;
  virtual void Put(const FilterActivityRow& row) = 0;
  virtual void Put(const ImportedLogRow& row) = 0;
  // After the last row: stores what is still buffered.
  virtual void Finish() = 0;
};

class ActivityBackend {
 public:
  virtual ~ActivityBackend() = default;

  // Asked while a statement on a server runs; true cancels it (the call
  // then throws). The embedded store has nothing to cancel.
  virtual void CancelWhen(std::function<bool()> stop_requested) { (void)stop_requested; }

  // One transaction at a time; Rollback never throws.
  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() noexcept = 0;

  virtual std::optional<UserRow> FindUser(const std::string& user_name) = 0;
  virtual std::optional<ComputerRow> FindComputer(const std::string& computer_name) = 0;
  virtual std::optional<IpRow> FindIp(const std::string& ip) = 0;
  virtual std::optional<ComputerRow> GetComputer(int64_t id) = 0;
  virtual std::optional<IpRow> GetIp(int64_t id) = 0;

  virtual int64_t InsertComputer(const std::string& computer_name, int32_t status) = 0;
  virtual int64_t InsertIp(const std::string& ip) = 0;
  virtual int64_t InsertUser(const std::string& user_name, int32_t active,
                             std::optional<int64_t> ips, std::optional<int64_t> computers) = 0;
  // Activity rows may be buffered until the commit (or, outside a
  // transaction, stored at once); a bad reference fails there at the latest.
  virtual void InsertWeb(std::string_view url, int32_t size, dbDateTime time, int64_t user) = 0;
  virtual void InsertFilterActivity(std::string_view url, dbDateTime time, std::string_view action,
                                    int64_t user) = 0;

  virtual void InsertImportedLog(const std::string& name, int64_t size, const std::string& hash,
                                 int64_t time) = 0;
  virtual std::vector<std::string> ImportedLogHashes(const std::string& name, int64_t size) = 0;

  virtual std::vector<UserRow> AllUsers() = 0;
  // Every user's name with the address and computer its row points to.
  virtual std::unordered_map<int64_t, UserLabel> AllUserLabels() = 0;

  // The Web rows with from <= time < to as (user, site, size): all of one
  // user's rows one after another, the users in ascending order with rows
  // without a user first. A store may hand a user's rows of one site summed
  // into one.
  using WebVisitor =
      std::function<void(std::optional<int64_t> user, std::string_view url, int64_t size)>;
  virtual void ScanWebOfPeriod(int64_t from, int64_t to, const WebVisitor& visit) = 0;

  // The FilterActivity rows with from <= time < to, grouped by user as
  // above, each user's newest first (ties: highest id first).
  using FilterVisitor =
      std::function<void(std::optional<int64_t> user, int64_t id, std::string_view url,
                         int64_t time, std::string_view action)>;
  virtual void ScanFilterEventsOfPeriod(int64_t from, int64_t to, const FilterVisitor& visit) = 0;

  // What one user name did in a period (from <= time < to), over all the
  // User rows of the name: their labels in id order; each site with the sum
  // of its sizes and each action with its count (in no particular order);
  // the newest `latest` filter events (ties: highest id first).
  virtual std::vector<UserLabel> LabelsOfName(const std::string& user_name) = 0;
  virtual std::vector<NamedCount> SitesOfName(const std::string& user_name, int64_t from,
                                              int64_t to) = 0;
  virtual std::vector<NamedCount> ActionsOfName(const std::string& user_name, int64_t from,
                                                int64_t to) = 0;
  virtual std::vector<FilterActivityRow> LatestEventsOfName(const std::string& user_name,
                                                            int64_t from, int64_t to,
                                                            size_t latest) = 0;

  // The period's activity in slots of `slot` seconds from `from`: element i
  // covers from + i * slot <= time < from + (i + 1) * slot, Web rows summed
  // by size, FilterActivity rows counted. With `user_name`, only the rows of
  // the User rows of that name. Only slots with rows are given, in no
  // particular order, as (slot index, sum).
  enum class Table { kWeb, kFilterActivity };
  virtual std::vector<std::pair<int64_t, int64_t>> ActivityPerSlot(
      Table table, int64_t from, int64_t to, int64_t slot, const std::string* user_name) = 0;

  // Removes the Web and FilterActivity rows with time < cutoff in
  // transactions of at most `batch_rows` rows; `go_on` is asked before
  // every one after the first (false stops; what went stays gone). Must not
  // be called inside a transaction.
  virtual DeletedActivity DeleteActivityBefore(int64_t cutoff, size_t batch_rows,
                                               const std::function<bool()>& go_on) = 0;

  // Whether any table (the record of imported logs too) holds a row.
  virtual bool HoldsActivity() = 0;
  // Every row of every table (see ActivityRowSink).
  virtual void ReadAllRows(ActivityRowSink& sink) = 0;
  // A sink that stores rows with the ids they bring, inside the open
  // transaction; later inserts get ids above them.
  virtual std::unique_ptr<ActivityRowSink> RowsKeepingIds() = 0;
};

#endif  // SERVER_DB_ACTIVITY_BACKEND_H_
