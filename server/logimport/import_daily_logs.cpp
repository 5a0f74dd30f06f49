#include "server/logimport/import_daily_logs.h"

#include <stdexcept>

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
  LineReader reader(path);
  if (!reader.is_open()) throw std::runtime_error("cannot read " + path);
  std::string line;
  for (LineReader::Result r; (r = reader.Next(&line)) != LineReader::Result::kEnd;) {
    if (r == LineReader::Result::kError) throw std::runtime_error("cannot read " + path);
    if (r != LineReader::Result::kLine) continue;
    SiteLine site = report_file ? ParseReportLine(line) : ParseRequestLine(DecodeBase64Text(line));
    if (site.key.empty()) continue;
    if (report_file)
      sites.Replace(site.key, site.number);
    else
      sites.Add(site.key, site.number);
  }
  if (static_cast<int64_t>(reader.bytes_read()) != platform::FileSize(path))
    throw std::runtime_error("read of " + path + " ended early");
}

enum class FileOutcome { kImported, kSkipped };

// One file, held for exclusive use from before the read until its totals
// are stored; throws when it cannot be read or stored.
FileOutcome ImportOneFile(DailyImportContext& context, const std::string& name) {
  const std::string path = context.install_path + "Logs/" + name;
  platform::ExclusiveFile lock;
  if (!lock.Open(path, platform::ExclusiveFile::Mode::kRead)) return FileOutcome::kSkipped;
  SplitDailyLogName(name, &context.current_user, &context.current_address);
  ReadSiteTable(path, IsReportFileName(name), context.sites);
  StoreUserActivity(context.db, context.current_user, context.current_address, context.sites,
                    context.clock.Now());
  lock.Close();
  platform::RemoveFile(path);  // a file that cannot be deleted stays; its totals are stored
  return FileOutcome::kImported;
}

}  // namespace

DailyImportStats ImportDailyLogs(DailyImportContext& context) {
  DailyImportStats stats;
  const std::string folder = context.install_path + "Logs/";
  const std::string pattern = DailyLogPattern(PreviousDay(context.clock.Now()));
  for (const std::string& name : platform::ListMatchingFiles(folder, pattern)) {
    if (context.pause && !context.pause()) break;
    try {
      if (ImportOneFile(context, name) == FileOutcome::kSkipped) {
        ++stats.skipped;
        continue;
      }
      ++stats.imported;
    } catch (const std::exception&) {
      context.sites.Clear();
      ++stats.failed;
      continue;
    }
    if (!RebuildIpLog(context.db, context.install_path, nullptr)) ++stats.ip_log_failures;
  }
  return stats;
}
