#include "server/logimport/log_names.h"

#include <cstdio>
#include <ctime>

#include "platform/clock.h"

LogDate PreviousDay(int64_t now) {
  std::tm today{};
  if (!platform::ToLocalTime(now, &today)) return LogDate{};
  // Noon of the day before: day 0 is normalised into the previous month or
  // year, and noon stays clear of daylight-saving jumps.
  const int64_t noon =
      platform::LocalTimeOf(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday - 1, 12);
  std::tm day{};
  if (!platform::ToLocalTime(noon, &day)) return LogDate{};
  return LogDate{day.tm_mday, day.tm_mon + 1, day.tm_year + 1900};
}

std::string DailyLogPattern(const LogDate& date) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%02d_%02d_%d_*", date.day, date.month, date.year);
  return buffer;
}

std::string FilterLogName(const LogDate& date) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "Filter_%02d_%02d_%d.log", date.day, date.month,
                date.year);
  return buffer;
}

void SplitDailyLogName(const std::string& name, std::string* user, std::string* address) {
  constexpr size_t kDatePrefix = 11;
  std::string rest = name.size() > kDatePrefix ? name.substr(kDatePrefix) : std::string();
  size_t underscore = rest.find('_');
  if (underscore == std::string::npos || underscore == 0) {
    *user = rest;
    *address = rest;
    return;
  }
  *user = rest.substr(0, underscore);
  *address = rest.substr(underscore + 1);
}

bool IsReportFileName(const std::string& name) {
  return name.find("report") != std::string::npos;
}
