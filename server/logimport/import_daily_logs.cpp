#include "server/logimport/import_daily_logs.h"

#include <deque>
#include <optional>
#include <stdexcept>
#include <unordered_map>

#include "platform/files.h"
#include "server/formats/decode_base64.h"
#include "server/formats/log_line_parser.h"
#include "server/logimport/imported_logs.h"
#include "server/logimport/line_reader.h"
#include "server/logimport/open_log.h"
#include "server/logimport/site_table.h"
#include "server/logimport/store_user_activity.h"

namespace {

// One per-user daily log as read. It lives for the one log's step only.
struct DailyLog {
  std::string user;
  std::string address;
  CSiteTable sites;
  LogFileRead read;
  int64_t lines = 0;    // lines that gave a key
  int64_t dropped = 0;  // other lines that held something
};

// Totals the open file's lines in `log`; throws when it cannot be read whole
// or the import is stopping.
void ReadDailyLog(DayImport& import, platform::ExclusiveFile& file, const std::string& name,
                  DailyLog* log) {
  const bool report_file = IsReportFileName(name);
  std::string decoded;
  auto on_line = [&](std::string_view line) {
    SiteLine site =
        report_file ? ParseReportLine(line) : ParseRequestLine(DecodeBase64Text(line, &decoded));
    if (site.key.empty()) {
      if (!line.empty()) ++log->dropped;
      return;
    }
    ++log->lines;
    if (report_file)
      log->sites.Replace(site.key, site.number);
    else
      log->sites.Add(site.key, site.number);
  };
  log->read = ReadAllLines(
      file, on_line, [log] { ++log->dropped; }, import.stop_requested);
}

// Logs whose rows are in the open transaction. One commit covers many
// logs, since every commit writes out the index pages it touched. There is
// no savepoint per log: under a savepoint SQLite copies each page before
// its first change, which costs more than the inserts themselves on a
// night's random index pages. So a failing log rolls the whole transaction
// back, and the logs it held are stored again.
class Batch {
 public:
  static constexpr size_t kMaxRows = 1000000;

  explicit Batch(DayImport& import) : import_(import) {}

  // Stores the log's rows and its record. On a failure it rolls the
  // transaction back, adds the names of the other logs it held to `undone`
  // and throws.
  void Store(const std::string& name, const DailyLog& log, std::vector<std::string>* undone) {
    if (!transaction_) transaction_.emplace(import_.db);
    try {
      StoreUserActivity(import_.db, log.user, log.address, log.sites,
                        TimeOnDay(import_.day, import_.now));
      RecordImportedLog(import_.db, name, log.read, import_.now);
    } catch (const std::exception&) {
      for (const StoredLog& stored : stored_) undone->push_back(stored.name);
      Reset();  // rolls back
      throw;
    }
    stored_.push_back(StoredLog{name, log.lines, log.dropped});
    rows_ += log.sites.entries().size() + 1;
    if (rows_ >= kMaxRows) Commit();
  }

  // Commits the stored logs and deletes them; when the commit fails they
  // all stay in place.
  void Commit() {
    if (!transaction_) return;
    try {
      transaction_->Commit();
    } catch (const std::exception& e) {
      for (const StoredLog& log : stored_)
        import_.summary.Leave(log.name, std::string("not stored: ") + e.what());
      Reset();
      return;
    }
    import_.AfterCommit();
    NightSummary& summary = import_.summary;
    for (const StoredLog& log : stored_) {
      // One that cannot be deleted is known by its record next time.
      platform::RemoveFile(import_.PathOf(log.name));
      ++summary.logs_imported;
      summary.lines_imported += log.lines;
      summary.lines_dropped += log.dropped;
    }
    Reset();
  }

 private:
  struct StoredLog {
    std::string name;
    int64_t lines;
    int64_t dropped;
  };

  void Reset() {
    transaction_.reset();
    stored_.clear();
    rows_ = 0;
  }

  DayImport& import_;
  std::optional<ActivityDatabase::Transaction> transaction_;
  std::vector<StoredLog> stored_;
  size_t rows_ = 0;
};

// The step for one log: everything about it stays local here. Logs that
// its failure rolled back are added to `undone`.
void ImportOne(DayImport& import, Batch& batch, const std::string& name,
               std::vector<std::string>* undone) {
  DailyLog log;
  SplitDailyLogName(name, &log.user, &log.address);
  if (!IsUsableNamePart(log.user) || !IsUsableNamePart(log.address)) {
    import.summary.Leave(name, "user name or address unusable in the IP log");
    return;
  }
  platform::ExclusiveFile file;
  if (!OpenLog(import, name, &file)) return;
  try {
    if (AlreadyImported(import.db, file, name, import.stop_requested)) {
      file.Close();
      platform::RemoveFile(import.PathOf(name));
      ++import.summary.logs_already_imported;
      return;
    }
    ReadDailyLog(import, file, name, &log);
    file.Close();
    batch.Store(name, log, undone);
  } catch (const ReadStopped&) {
    // The caller's next question to the worker ends the day.
    import.summary.Leave(name, "the import was stopped");
  } catch (const std::exception& e) {
    import.summary.Leave(name, std::string("not imported: ") + e.what());
  }
}

}  // namespace

bool ImportDailyLogs(DayImport& import, const std::vector<std::string>& names) {
  // A log rolled back with another's failure is tried again, a bounded
  // number of times, so a lasting failure (a full disk) cannot loop.
  constexpr int kMaxAttempts = 3;
  Batch batch(import);
  std::deque<std::string> work(names.begin(), names.end());
  std::unordered_map<std::string, int> attempts;
  while (!work.empty()) {
    if (!import.KeepGoing()) {
      batch.Commit();
      for (const std::string& name : work) import.summary.Leave(name, "the import was stopped");
      return false;
    }
    const std::string name = std::move(work.front());
    work.pop_front();
    std::vector<std::string> undone;
    ImportOne(import, batch, name, &undone);
    std::vector<std::string> again;
    for (const std::string& rolled_back : undone) {
      if (++attempts[rolled_back] < kMaxAttempts)
        again.push_back(rolled_back);
      else
        import.summary.Leave(rolled_back, "not stored: rolled back with other logs' failures");
    }
    work.insert(work.begin(), again.begin(), again.end());  // next, in their first order
  }
  batch.Commit();
  // A stop that ended the last log's read ends the day as one between logs.
  return import.KeepGoing();
}
