#include "server/reports/email_thread.h"

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "common/email_scramble.h"
#include "common/install_path.h"
#include "platform/files.h"
#include "platform/scope_exit.h"
#include "server/base/event_log.h"
#include "server/base/kept_reports.h"
#include "server/reports/due_reports.h"
#include "server/reports/send_report.h"

namespace {

constexpr std::chrono::milliseconds kPassInterval(3000);

std::optional<std::tm> LocalTime(int64_t t) {
  std::tm local{};
  if (!platform::ToLocalTime(t, &local)) return std::nullopt;
  return local;
}

// The folder the tool and Notivo run in: the install folder, or this
// process's current folder ("") when the install folder is not there.
std::string ReportFolder(const ReportConfig& config) {
  std::string folder = NormalizeInstallPath(config.apppath);
  std::error_code ec;
  return std::filesystem::is_directory(folder, ec) ? folder : std::string();
}

// "dbdata" in `folder`, which the tool writes and Notivo reads (Notivo is
// given the relative name), as a path this process can open.
std::string ReportFilePath(const std::string& folder) {
  if (!folder.empty()) return folder + "dbdata";
  std::error_code ec;
  std::filesystem::path current = std::filesystem::current_path(ec);
  if (ec) return "dbdata";
  return (current / "dbdata").string();
}

// The hour "ReportTime" names: "0" to "23" byte for byte ("9" is the ninth
// hour; "09" or " 9" is none).
std::optional<int> ReportHour(const std::string& text) {
  for (int hour = 0; hour < 24; ++hour) {
    if (text == std::to_string(hour)) return hour;
  }
  return std::nullopt;
}

}  // namespace

EmailThread::EmailThread(NightlyImportGate& gate, platform::Clock& clock)
    : gate_(gate), clock_(clock) {}

EmailThread::~EmailThread() { Stop(); }

uint32_t EmailThread::Run(uint32_t) {
  do {
    try {
      RunPass();
    } catch (const std::exception& e) {
      WriteEventLog(EventPriority::kError, "The e-mail reports failed: %s", e.what());
    }
  } while (SleepFor(kPassInterval));
  return 0;
}

void EmailThread::RunPass() {
  const ReportConfig config = ReadReportConfig();
  const int64_t now = clock_.Now();
  std::optional<std::tm> local = LocalTime(now);
  std::optional<int> report_hour = ReportHour(config.report_time);
  if (!local || !report_hour) return;
  const int64_t today = platform::DayNumber(*local);
  // At or after the hour, so an hour that daylight saving skips sends at
  // the next pass; once per date, so a clock set back over it sends nothing
  // twice.
  if (!batches_.Due(today, local->tm_hour >= *report_hour, local->tm_hour <= *report_hour)) return;
  // A report must not read a night that is being imported, nor the day
  // before the importer has looked at the new date (report hour 0).
  if (!gate_.TryBeginReports(now)) return;
  platform::ScopeExit end([this] { gate_.EndReports(); });  // however the batch ends
  RunBatch(config, now);
  batches_.Mark(today);
  sent_day_ = today;
}

void EmailThread::RunBatch(const ReportConfig& config, int64_t now) {
  std::vector<const ReportEntry*> due = DueReports(config, LocalTime(now));
  if (due.empty()) return;
  const std::string address = UnscrambleEmail(config.email_address);
  if (address.empty()) {
    // An empty address would shift Notivo's arguments; send nothing.
    WriteEventLog(EventPriority::kWarning,
                  "The e-mail reports were not sent: no recipient address is configured");
    return;
  }
  const std::string folder = ReportFolder(config);
  const std::string report_file = ReportFilePath(folder);
  for (const ReportEntry* report : due) {
    if (StopRequested()) return;
    bool sent = false;
    if (SendReport(
            *report, folder, report_file, address, [this] { return StopRequested(); }, &sent))
      Keep(*report, folder, report_file, now, sent);
  }
}

void EmailThread::Keep(const ReportEntry& report, const std::string& folder,
                       const std::string& report_file, int64_t now, bool sent) {
  // Without the install folder there is nowhere the reports belong.
  if (folder.empty()) return;
  std::string error;
  std::optional<std::string> html = platform::ReadWholeFile(report_file);
  if (!html) {
    error = "cannot read " + report_file;
  } else if (KeepReport(folder, report, now, *html, &error, sent)) {
    return;
  }
  WriteEventLog(EventPriority::kWarning, "The %s report was not kept in %s%s: %s", report.name,
                folder.c_str(), kKeptReportsFolder, error.c_str());
}
