#include "server/logimport/pending_logs.h"

#include <algorithm>
#include <map>

#include "platform/files.h"

std::vector<PendingDay> FindPendingLogs(const std::string& logs_folder, const LogDate& today) {
  // Links, pipes and devices too, so that the import can name what it
  // will not read.
  std::vector<std::string> names = platform::ListMatchingEntries(logs_folder, "*");
  // Byte order, so a day's rows are stored in the same order on every run.
  std::sort(names.begin(), names.end());
  std::map<LogDate, PendingDay> days;
  for (const std::string& name : names) {
    if (std::optional<LogDate> day = FilterLogDate(name); day && *day < today) {
      PendingDay& pending = days[*day];
      pending.day = *day;
      pending.filter_log = name;
    } else if (std::optional<LogDate> daily = DailyLogDate(name); daily && *daily < today) {
      PendingDay& pending = days[*daily];
      pending.day = *daily;
      pending.daily_logs.push_back(name);
    }
  }
  std::vector<PendingDay> result;
  for (auto& [day, pending] : days) result.push_back(std::move(pending));
  return result;
}
