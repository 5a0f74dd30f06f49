#include "server/logimport/import_filter_log.h"

#include <array>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <unordered_map>

#include "platform/clock.h"
#include "platform/files.h"
#include "server/logimport/decode_base64.h"
#include "server/logimport/filter_line.h"
#include "server/logimport/line_reader.h"
#include "server/logimport/log_names.h"

namespace {

// User rows by name for one import; users are not added while it runs.
class UserIds {
 public:
  explicit UserIds(ActivityDatabase& db) : db_(db) {}
  std::optional<int64_t> Find(const std::string& name) {
    auto it = ids_.find(name);
    if (it != ids_.end()) return it->second;
    std::optional<int64_t> id;
    if (auto user = db_.FindUser(name)) id = user->id;
    ids_.emplace(name, id);
    return id;
  }

 private:
  ActivityDatabase& db_;
  std::unordered_map<std::string, std::optional<int64_t>> ids_;
};

// mktime re-reads the zone file's status on every call when TZ is unset;
// a day's events share few distinct times, so each is converted once.
class LocalTimeCache {
 public:
  int64_t Convert(const std::tm& tm) {
    const Key key{tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    auto it = times_.find(key);
    if (it != times_.end()) return it->second;
    int64_t t = platform::FromLocalTime(tm);
    if (times_.size() < kMaxEntries) times_.emplace(key, t);
    return t;
  }

 private:
  using Key = std::array<int, 6>;
  struct KeyHash {
    size_t operator()(const Key& key) const {
      size_t h = 0;
      for (int part : key) h = h * 1000003u ^ std::hash<int>()(part);
      return h;
    }
  };
  static constexpr size_t kMaxEntries = 200000;

  std::unordered_map<Key, int64_t, KeyHash> times_;
};

// Stores the lines of the open file; throws on a read or database failure.
void StoreLines(ActivityDatabase& db, const std::string& path, FilterImportResult* result) {
  UserIds users(db);
  LocalTimeCache times;
  auto convert = [&times](const std::tm& tm) { return times.Convert(tm); };
  auto store = [&](const std::string& line) {
    FilterEvent event = MakeFilterEvent(SplitFilterLine(DecodeBase64Text(line)), convert);
    if (event.user_name.empty()) {
      if (!line.empty()) ++result->dropped;
      return;
    }
    std::optional<int64_t> user = users.Find(event.user_name);
    if (!user) {
      ++result->dropped;
      return;
    }
    db.InsertFilterActivity(event.url, dbDateTime(event.time), event.action, *user);
    ++result->stored;
  };
  ReadAllLines(path, store, [result] { ++result->dropped; });
}

}  // namespace

FilterImportResult ImportFilterLog(ActivityDatabase& db, const std::string& install_path,
                                   int64_t now) {
  FilterImportResult result;
  const std::string path = install_path + "Logs/" + FilterLogName(PreviousDay(now));
  platform::ExclusiveFile lock;
  if (!lock.Open(path, platform::ExclusiveFile::Mode::kRead)) return result;
  try {
    if (platform::FileSize(path) != 0) {
      ActivityDatabase::Transaction transaction(db);
      StoreLines(db, path, &result);
      transaction.Commit();
    }
  } catch (const std::exception& e) {
    return FilterImportResult{FilterImportResult::Status::kFailed, 0, 0, e.what()};
  }
  lock.Close();
  platform::RemoveFile(path);  // a file that cannot be deleted stays; its rows are stored
  result.status = FilterImportResult::Status::kImported;
  return result;
}
