#include "server/logimport/import_filter_log.h"

#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "common/string_map.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "server/formats/decode_base64.h"
#include "server/formats/filter_line.h"
#include "server/formats/log_names.h"
#include "server/logimport/imported_logs.h"
#include "server/logimport/line_reader.h"
#include "server/logimport/local_time_converter.h"
#include "server/logimport/open_log.h"

namespace {

// User rows by name for one import; users are not added while it runs.
class UserIds {
 public:
  explicit UserIds(ActivityDatabase& db) : db_(db) {}
  std::optional<int64_t> Find(std::string_view name) {
    if (name == last_name_) return last_id_;  // events come in runs of one user
    auto it = ids_.find(name);
    if (it == ids_.end()) {
      std::optional<int64_t> id;
      if (auto user = db_.FindUser(std::string(name))) id = user->id;
      it = ids_.emplace(std::string(name), id).first;
    }
    last_name_ = name;
    last_id_ = it->second;
    return last_id_;
  }

 private:
  ActivityDatabase& db_;
  StringMap<std::optional<int64_t>> ids_;
  std::string last_name_;
  std::optional<int64_t> last_id_;
};

// Thrown from inside the read when the worker is stopping.
struct ImportStopped {};
// Thrown from inside the read at a line whose user is not in the database
// yet because the user's web log is still in Logs/ (a failed store, a log
// held open): the user comes with that log, so the filter log waits.
struct UserStillWaiting {
  std::string user;
};

// The users of the daily logs this night left in Logs/ so far (this day's
// and earlier days'), whose names could come into the database later; a
// name that never can (a comma, a control character) is not waiting.
using UserSet = std::unordered_set<std::string, StringHash, std::equal_to<>>;

UserSet WaitingUsers(const NightSummary& summary) {
  UserSet users;
  for (const NightSummary::LeftLog& left : summary.left) {
    if (!DailyLogDate(left.name)) continue;
    std::string user, address;
    SplitDailyLogName(left.name, &user, &address);
    if (IsUsableNamePart(user) && IsUsableNamePart(address)) users.insert(user);
  }
  return users;
}

constexpr int64_t kLinesBetweenStopChecks = 8192;

struct FilterCounts {
  int64_t stored = 0;
  int64_t dropped = 0;
};

// Stores the lines of the open file; throws on a read or database failure.
LogFileRead StoreLines(DayImport& import, platform::ExclusiveFile& file, FilterCounts* counts) {
  UserIds users(import.db);
  const UserSet waiting = WaitingUsers(import.summary);
  LocalTimeConverter times;
  auto convert = [&times](const std::tm& tm) { return times.Convert(tm); };
  int64_t seen = 0;
  std::string decoded;  // the event's texts are views into it
  auto store = [&](std::string_view line) {
    if (++seen % kLinesBetweenStopChecks == 0 && import.StopRequested()) throw ImportStopped();
    FilterEvent event = MakeFilterEvent(SplitFilterLine(DecodeBase64Text(line, &decoded)), convert);
    if (event.user_name.empty()) {
      if (!line.empty()) ++counts->dropped;
      return;
    }
    std::optional<int64_t> user = users.Find(event.user_name);
    if (!user) {
      if (waiting.contains(event.user_name)) throw UserStillWaiting{std::string(event.user_name)};
      ++counts->dropped;
      return;
    }
    import.db.InsertFilterActivity(event.url, dbDateTime(event.time), event.action, *user);
    ++counts->stored;
  };
  return ReadAllLines(file, store, [counts] { ++counts->dropped; });
}

}  // namespace

bool ImportFilterLog(DayImport& import, const std::string& name) {
  const std::string path = import.PathOf(name);
  NightSummary& summary = import.summary;
  platform::ExclusiveFile file;
  if (!OpenLog(import, name, &file)) return true;
  FilterCounts counts;
  try {
    if (AlreadyImported(import.db, file, name)) {
      file.Close();
      platform::RemoveFile(path);
      ++summary.logs_already_imported;
      return true;
    }
    ActivityDatabase::Transaction transaction(import.db);
    RecordImportedLog(import.db, name, StoreLines(import, file, &counts), import.now);
    transaction.Commit();
  } catch (const UserStillWaiting& waiting) {
    // Rolled back whole: stored next night with the user's web log, once.
    summary.Leave(name, "kept for the next night: it has events of " + waiting.user +
                            ", whose web log is still in Logs/");
    return true;
  } catch (const ImportStopped&) {
    summary.Leave(name, "the import was stopped");
    return false;
  } catch (const std::exception& e) {
    summary.Leave(name, std::string("not imported: ") + e.what());
    return true;
  }
  import.AfterCommit();
  file.Close();
  platform::RemoveFile(path);  // one that cannot be deleted is known by its record next time
  ++summary.logs_imported;
  summary.lines_imported += counts.stored;
  summary.lines_dropped += counts.dropped;
  summary.filter_rows += counts.stored;
  return true;
}
