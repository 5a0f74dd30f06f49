#include "server/formats/log_names.h"

#include <cstdio>
#include <ctime>

#include "common/contact_values.h"
#include "platform/clock.h"
#include "platform/parse_digits.h"

namespace {

// Two or four decimal digits at `at`, as a number; -1 when not digits.
int Digits(const std::string& text, size_t at, size_t count) {
  if (at + count > text.size()) return -1;
  return int(
      platform::ParseDigits<unsigned>(std::string_view(text).substr(at, count)).value_or(-1));
}

// "DD_MM_YYYY" at `at`, when it names a day of the calendar.
std::optional<LogDate> DateAt(const std::string& text, size_t at) {
  if (text.size() < at + 10 || text[at + 2] != '_' || text[at + 5] != '_') return std::nullopt;
  LogDate date{Digits(text, at, 2), Digits(text, at + 3, 2), Digits(text, at + 6, 4)};
  if (date.day < 1 || date.month < 1 || date.month > 12 || date.year < 1970) return std::nullopt;
  // Noon of the named day comes back as the same day only when it exists.
  std::tm tm{};
  if (!platform::ToLocalTime(platform::LocalTimeOf(date.year, date.month, date.day, 12), &tm) ||
      tm.tm_mday != date.day)
    return std::nullopt;
  return date;
}

}  // namespace

LogDate LocalDay(int64_t now) {
  std::tm today{};
  if (!platform::ToLocalTime(now, &today)) return LogDate{};
  return LogDate{today.tm_mday, today.tm_mon + 1, today.tm_year + 1900};
}

int64_t TimeOnDay(const LogDate& day, int64_t now) {
  std::tm local{};
  if (!platform::ToLocalTime(now, &local)) return now;
  return platform::LocalTimeOf(day.year, day.month, day.day, local.tm_hour, local.tm_min,
                               local.tm_sec);
}

std::optional<LogDate> DailyLogDate(const std::string& name) {
  if (name.size() < 11 || name[10] != '_') return std::nullopt;
  return DateAt(name, 0);
}

std::optional<LogDate> FilterLogDate(const std::string& name) {
  static const std::string kPrefix = "Filter_", kSuffix = ".log";
  if (name.size() != kPrefix.size() + 10 + kSuffix.size() || name.rfind(kPrefix, 0) != 0 ||
      name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
    return std::nullopt;
  return DateAt(name, kPrefix.size());
}

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
  std::snprintf(buffer, sizeof buffer, "Filter_%02d_%02d_%d.log", date.day, date.month, date.year);
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

bool IsUsableNamePart(const std::string& text) { return !text.empty() && !BreaksContactList(text); }

bool IsReportFileName(const std::string& name) { return name.find("report") != std::string::npos; }
