#include "server/logimport/remove_old_activity.h"

#include <ctime>

#include "common/reg_value.h"
#include "common/settings.h"
#include "platform/clock.h"
#include "server/base/event_log.h"
#include "server/base/kept_reports.h"
#include "server/db/delete_activity_before.h"

int64_t RetentionCutoff(int64_t now, uint32_t keep_days) {
  std::tm today{};
  if (!platform::ToLocalTime(now, &today)) return now - int64_t{keep_days} * 86400;
  return platform::LocalTimeOf(today.tm_year + 1900, today.tm_mon + 1,
                               today.tm_mday - static_cast<int>(keep_days));
}

namespace {

// Far beyond any sensible value, and small enough for the day arithmetic.
constexpr uint32_t kMaxKeepDays = 100000;

// KeepDays, or 0 when nothing is to be removed.
uint32_t ReadKeepDays() {
  const uint32_t keep_days = CRegNumberValue(setting::kKeepDays).Read();
  return keep_days > kMaxKeepDays ? 0 : keep_days;
}

}  // namespace

int RemoveOldReports(const std::string& install_path, int64_t now) {
  const uint32_t keep_days = ReadKeepDays();
  if (keep_days == 0) return 0;
  // A report covers days before the one it was sent on (the daily one the
  // day before): it goes with the rows of its last day, a day after theirs.
  const int removed = RemoveKeptReportsBefore(install_path, RetentionCutoff(now, keep_days - 1));
  if (removed > 0)
    WriteEventLog("Removed %d kept reports of activity older than %u days", removed, keep_days);
  return removed;
}

int64_t RemoveOldActivity(ActivityDatabase& db, int64_t now, const std::function<bool()>& go_on) {
  const uint32_t keep_days = ReadKeepDays();
  if (keep_days == 0) return 0;
  const DeletedActivity deleted =
      DeleteActivityBefore(db, RetentionCutoff(now, keep_days), kDeleteBatchRows, go_on);
  WriteEventLog("Removed %lld activity rows older than %u days (%lld Web, %lld FilterActivity)",
                static_cast<long long>(deleted.total()), keep_days,
                static_cast<long long>(deleted.web), static_cast<long long>(deleted.filter));
  return deleted.total();
}
