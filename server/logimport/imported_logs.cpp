#include "server/logimport/imported_logs.h"

#include <algorithm>
#include <vector>

bool AlreadyImported(ActivityDatabase& db, platform::ExclusiveFile& file, const std::string& name,
                     const std::function<bool()>& stop_requested) {
  const std::vector<std::string> hashes = db.ImportedLogHashes(name, file.Size());
  if (hashes.empty()) return false;
  const LogFileRead read = ReadAllLines(
      file, [](std::string_view) {}, [] {}, stop_requested);
  return std::find(hashes.begin(), hashes.end(), read.hash) != hashes.end();
}

void RecordImportedLog(ActivityDatabase& db, const std::string& name, const LogFileRead& read,
                       int64_t now) {
  db.InsertImportedLog(name, read.size, read.hash, now);
}
