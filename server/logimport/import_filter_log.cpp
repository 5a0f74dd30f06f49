#include "server/logimport/import_filter_log.h"

#include <optional>
#include <stdexcept>
#include <unordered_map>

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

// Stores the lines of the open file; throws on a read or database failure.
void StoreLines(ActivityDatabase& db, const std::string& path, FilterImportResult* result) {
  LineReader reader(path);
  if (!reader.is_open()) throw std::runtime_error("cannot read " + path);
  UserIds users(db);
  std::string line;
  for (LineReader::Result r; (r = reader.Next(&line)) != LineReader::Result::kEnd;) {
    if (r == LineReader::Result::kError) throw std::runtime_error("cannot read " + path);
    if (r == LineReader::Result::kTooLong) {
      ++result->dropped;
      continue;
    }
    FilterEvent event = MakeFilterEvent(SplitFilterLine(DecodeBase64Text(line)));
    if (event.user_name.empty()) {
      if (!line.empty()) ++result->dropped;
      continue;
    }
    std::optional<int64_t> user = users.Find(event.user_name);
    if (!user) {
      ++result->dropped;
      continue;
    }
    db.InsertFilterActivity(event.url, dbDateTime(event.time), event.action, *user);
    ++result->stored;
  }
  if (static_cast<int64_t>(reader.bytes_read()) != platform::FileSize(path))
    throw std::runtime_error("read of " + path + " ended early");
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
