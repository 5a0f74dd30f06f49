#include "server/logimport/import_daily_logs.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/files.h"
#include "server/logimport/decode_base64.h"
#include "server/logimport/line_reader.h"
#include "server/logimport/log_line_parser.h"
#include "server/logimport/log_names.h"
#include "server/logimport/rebuild_ip_log.h"
#include "server/logimport/store_user_activity.h"

namespace {

// Totals the file's lines in `sites`; throws when the file cannot be read
// whole. Lines over the length bound are skipped.
void ReadSiteTable(const std::string& path, bool report_file, CSiteTable& sites) {
  ReadAllLines(
      path,
      [&](const std::string& line) {
        SiteLine site =
            report_file ? ParseReportLine(line) : ParseRequestLine(DecodeBase64Text(line));
        if (site.key.empty()) return;
        if (report_file)
          sites.Replace(site.key, site.number);
        else
          sites.Add(site.key, site.number);
      },
      [] {});
}

// A file whose rows are stored in the open transaction; it stays locked
// until the transaction is committed and is deleted only then.
struct StoredFile {
  std::string path;
  std::unique_ptr<platform::ExclusiveFile> lock;
};

// Files are stored a batch at a time: one commit per batch instead of one
// per file, since every commit rewrites the index pages it touched. Each
// file has its own savepoint, so a failing file undoes only its own rows.
class Batch {
 public:
  static constexpr size_t kMaxRows = 100000;
  static constexpr size_t kMaxFiles = 100;

  Batch(ActivityDatabase& db, DailyImportStats& stats) : db_(db), stats_(stats) {}

  // Stores one file; false (nothing of it stored) when it is held by
  // another program. Throws when it cannot be read or stored.
  bool Store(DailyImportContext& context, const std::string& name) {
    StoredFile file{context.install_path + "Logs/" + name,
                    std::make_unique<platform::ExclusiveFile>()};
    if (!file.lock->Open(file.path, platform::ExclusiveFile::Mode::kRead)) return false;
    SplitDailyLogName(name, &context.current_user, &context.current_address);
    ReadSiteTable(file.path, IsReportFileName(name), context.sites);
    const size_t rows = context.sites.entries().size() + 3;
    if (!transaction_) transaction_.emplace(db_);
    try {
      StoreUserActivity(db_, context.current_user, context.current_address, context.sites,
                        context.clock.Now());
    } catch (const std::exception&) {
      if (!db_.in_transaction()) Abandon();  // SQLite rolled the whole batch back
      throw;
    }
    rows_ += rows;
    files_.push_back(std::move(file));
    if (rows_ >= kMaxRows || files_.size() >= kMaxFiles) Commit();
    return true;
  }

  // Commits the open transaction and deletes its files; when the commit
  // fails every file of the batch stays in place.
  void Commit() {
    if (!transaction_) return;
    try {
      transaction_->Commit();
      for (StoredFile& file : files_) {
        file.lock->Close();
        platform::RemoveFile(file.path);  // one that cannot be deleted stays; its rows are stored
      }
      stats_.imported += static_cast<int>(files_.size());
    } catch (const std::exception&) {
      stats_.failed += static_cast<int>(files_.size());
    }
    Reset();
  }

 private:
  // The batch's rows are gone: its files stay in place, counted as failed.
  void Abandon() {
    stats_.failed += static_cast<int>(files_.size());
    Reset();
  }

  void Reset() {
    transaction_.reset();
    files_.clear();
    rows_ = 0;
  }

 private:
  ActivityDatabase& db_;
  DailyImportStats& stats_;
  std::optional<ActivityDatabase::Transaction> transaction_;
  std::vector<StoredFile> files_;
  size_t rows_ = 0;
};

}  // namespace

DailyImportStats ImportDailyLogs(DailyImportContext& context) {
  DailyImportStats stats;
  const std::string folder = context.install_path + "Logs/";
  const std::string pattern = DailyLogPattern(PreviousDay(context.clock.Now()));
  {
    Batch batch(context.db, stats);
    for (const std::string& name : platform::ListMatchingFiles(folder, pattern)) {
      if (context.pause && !context.pause()) break;
      try {
        if (!batch.Store(context, name)) ++stats.skipped;
      } catch (const std::exception&) {
        context.sites.Clear();
        ++stats.failed;
      }
    }
    batch.Commit();
  }
  // Once after the scan rather than after every file: the files end up the
  // same, without rewriting and syncing them a thousand times a night.
  if (stats.imported > 0 && !RebuildIpLog(context.db, context.install_path, nullptr))
    ++stats.ip_log_failures;
  return stats;
}
