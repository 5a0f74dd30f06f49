#include "server/logimport/logg_thread.h"

#include <cstdlib>
#include <ctime>
#include <exception>
#include <stdexcept>

#include "common/install_path.h"
#include "platform/files.h"
#include "platform/scope_exit.h"
#include "server/base/event_log.h"
#include "server/base/ip_log_files.h"
#include "server/base/refresh_ip_log.h"
#include "server/db/activity_database.h"
#include "server/db/activity_location.h"
#include "server/logimport/nightly_import.h"

CLoggThread::CLoggThread(NightlyImportGate& gate, platform::Clock& clock,
                         std::chrono::milliseconds poll_interval,
                         std::chrono::milliseconds file_pause)
    : gate_(gate), clock_(clock), poll_interval_(poll_interval), file_pause_(file_pause) {}

CLoggThread::~CLoggThread() { Stop(); }

uint32_t CLoggThread::Run(uint32_t) {
  PrepareIpLog();
  do {
    PollOnce();
  } while (SleepFor(poll_interval_));
  return 0;
}

bool CLoggThread::PollOnce() {
  std::tm local{};
  const int64_t now = clock_.Now();
  if (!platform::ToLocalTime(now, &local)) return false;
  const int64_t today = platform::DayNumber(local);
  // A start in minute 00:00 still runs that night, as one at midnight would.
  const bool midnight_minute = local.tm_hour == 0 && local.tm_min == 0;
  const bool due = nights_.Due(today, true, midnight_minute);
  gate_.ImporterLooked(today, due);
  if (!due) return false;
  if (!gate_.TryBeginImport()) return false;               // a report pass runs: the next poll
  platform::ScopeExit end([this] { gate_.EndImport(); });  // however the night ends
  ImportNight();
  nights_.Mark(today);
  imported_day_ = today;
  return true;
}

NightSummary CLoggThread::ImportNight() {
  const auto started = std::chrono::steady_clock::now();
  NightlyImport night;
  night.install_path = ReadInstallPath();
  night.now = clock_.Now();
  night.keep_going = [this] { return SleepFor(file_pause_); };
  night.stop_requested = [this] { return StopRequested(); };
  night.refresh_ip_log = [this](std::string* problem) {
    return RefreshIpLog([this] { return StopRequested(); }, problem);
  };
  if (std::getenv(kPauseAfterCommitVariable))
    night.after_commit = [this] { PauseAfterCommitForTesting(); };
  NightSummary summary = RunNightlyImport(night);
  for (const std::string& line : NightSummaryLines(summary))
    WriteEventLog(NightSummaryPriority(summary), "%s", line.c_str());
  PublishNightMetrics(summary, night.now, started);
  return summary;
}

void CLoggThread::PauseAfterCommitForTesting() {
  const char* ms = std::getenv(kPauseAfterCommitVariable);
  if (ms) SleepFor(std::chrono::milliseconds(std::atoll(ms)));
}

void CLoggThread::PrepareIpLog() {
  const std::string install_path = ReadInstallPath();
  RemoveIpLogLeftovers(install_path);
  // With neither the tool's contacts nor a database nothing is known yet;
  // the request worker writes the files at its first report.
  const ActivityLocation location = ConfiguredActivityLocation(install_path);
  if (!platform::FileExists(install_path + "contacts.dbs") && !location.is_postgres() &&
      !platform::FileExists(location.file))
    return;
  std::string problem;
  if (RefreshIpLogIfMissing([this] { return StopRequested(); }, &problem) == IpLogRefresh::kKept)
    WriteEventLog(EventPriority::kWarning, "The IP log could not be rebuilt at start: %s",
                  problem.c_str());
}
