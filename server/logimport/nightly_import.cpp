#include "server/logimport/nightly_import.h"

#include <exception>
#include <vector>

#include "server/db/activity_database.h"
#include "server/logimport/import_daily_logs.h"
#include "server/logimport/import_filter_log.h"
#include "server/logimport/pending_logs.h"
#include "server/logimport/remove_old_activity.h"

namespace {

constexpr char kStopped[] = "the import was stopped";

// Lists the logs of days[from...] as left, for `reason`.
void LeaveDays(const std::vector<PendingDay>& days, size_t from, const std::string& reason,
               NightSummary& summary) {
  for (size_t i = from; i < days.size(); ++i) {
    for (const std::string& name : days[i].daily_logs) summary.Leave(name, reason);
    if (days[i].filter_log) summary.Leave(*days[i].filter_log, reason);
  }
}

// One day; false when the import was stopped during it (what was left of
// the day is listed).
bool ImportDay(DayImport& import, const PendingDay& pending) {
  if (!ImportDailyLogs(import, pending.daily_logs)) {
    if (pending.filter_log) import.summary.Leave(*pending.filter_log, kStopped);
    return false;
  }
  if (!pending.filter_log) return true;
  if (!import.KeepGoing()) {
    import.summary.Leave(*pending.filter_log, kStopped);
    return false;
  }
  return ImportFilterLog(import, *pending.filter_log);
}

void ImportDays(ActivityDatabase& db, const NightlyImport& night,
                const std::vector<PendingDay>& days, NightSummary& summary) {
  const std::string logs = night.install_path + "Logs/";
  for (size_t i = 0; i < days.size(); ++i) {
    DayImport import{db,
                     logs,
                     days[i].day,
                     night.now,
                     night.keep_going,
                     night.stop_requested,
                     night.after_commit,
                     summary};
    if (!ImportDay(import, days[i])) {
      summary.stopped = true;
      LeaveDays(days, i + 1, kStopped, summary);
      return;
    }
  }
}

// Retention after the import (KeepDays); a failure here leaves the
// night's import as it is.
void RemoveOld(ActivityDatabase& db, const NightlyImport& night, NightSummary& summary) {
  try {
    summary.removed = RemoveOldActivity(
        db, night.now, [&night] { return !night.stop_requested || !night.stop_requested(); });
    RemoveOldReports(night.install_path, night.now);
  } catch (const std::exception& e) {
    summary.removal_error = e.what();
  }
}

// The list's tool reads the database the night has just written; a stop
// keeps the files as they were and says nothing more than the stop itself.
void RefreshIpLogAfter(const NightlyImport& night, NightSummary& summary) {
  if (!night.refresh_ip_log) {
    summary.ip_log_rebuilt = true;
    return;
  }
  IpLogRefresh outcome = night.refresh_ip_log(&summary.ip_log_error);
  summary.ip_log_rebuilt = outcome != IpLogRefresh::kKept;
}

}  // namespace

NightSummary RunNightlyImport(const NightlyImport& night) {
  NightSummary summary;
  try {
    const std::vector<PendingDay> days =
        FindPendingLogs(night.install_path + "Logs/", LocalDay(night.now));
    summary.days = static_cast<int>(days.size());
    ActivityDatabase db;
    const ActivityLocation location = ConfiguredActivityLocation(night.install_path);
    std::string why;
    if (!db.Open(location, &why)) {
      summary.error = location.Describe() + ": " + why;
      LeaveDays(days, 0, "the activity database could not be opened", summary);
      return summary;
    }
    // A database server that stops answering must not hold up a stop.
    db.CancelWhen(night.stop_requested);
    summary.database_opened = true;
    ImportDays(db, night, days, summary);
    if (!summary.stopped) RemoveOld(db, night, summary);
    db.Close();
    RefreshIpLogAfter(night, summary);
  } catch (const std::exception& e) {
    // Contained: the night ends here and the next one runs as usual.
    summary.error = e.what();
  }
  return summary;
}
