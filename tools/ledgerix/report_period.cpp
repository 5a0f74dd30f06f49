#include "tools/ledgerix/report_period.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/clock.h"

namespace {

const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

std::tm LocalOrEpoch(int64_t t) {
  std::tm local{};
  if (!platform::ToLocalTime(t, &local)) local.tm_mday = 1;
  return local;
}

// Local midnight of the day `days` away from `day`'s date. The conversion
// normalises the day of month across month and year ends and picks the
// offset that holds at that midnight.
int64_t MidnightOffsetBy(const std::tm& day, int days) {
  return platform::LocalTimeOf(day.tm_year + 1900, day.tm_mon + 1, day.tm_mday + days);
}

int64_t FirstOfMonthOffsetBy(const std::tm& day, int months) {
  return platform::LocalTimeOf(day.tm_year + 1900, day.tm_mon + 1 + months, 1);
}

std::string DayText(int64_t t, bool with_weekday) {
  std::tm local = LocalOrEpoch(t);
  char text[96];
  std::snprintf(text, sizeof text, "%s%s%d %s %d", with_weekday ? kDayNames[local.tm_wday % 7] : "",
                with_weekday ? " " : "", local.tm_mday, kMonthNames[local.tm_mon % 12],
                local.tm_year + 1900);
  return text;
}

// "YYYY-MM-DD" of a date that exists, as its local midnight.
std::optional<int64_t> DayStart(const std::string& text) {
  int year = 0, month = 0, day = 0, used = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  }
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) != 3 || used != 10)
    return std::nullopt;
  const int64_t start = platform::LocalTimeOf(year, month, day);
  // mktime turns 31 February into 3 March; only a date that comes back as
  // given exists.
  std::tm back = LocalOrEpoch(start);
  if (back.tm_year + 1900 != year || back.tm_mon + 1 != month || back.tm_mday != day)
    return std::nullopt;
  return start;
}

}  // namespace

std::optional<PeriodBounds> BoundsOfDays(const std::string& first, const std::string& last) {
  std::optional<int64_t> begin = DayStart(first), last_start = DayStart(last);
  if (!begin || !last_start || *last_start < *begin) return std::nullopt;
  return PeriodBounds{*begin, MidnightOffsetBy(LocalOrEpoch(*last_start), 1)};
}

int DaysIn(const PeriodBounds& bounds) {
  // Days are 23 to 25 hours long; the nearest whole number of 24 counts them.
  return static_cast<int>((bounds.end - bounds.begin + 43200) / 86400);
}

std::vector<int64_t> DayStarts(const PeriodBounds& bounds) {
  std::vector<int64_t> starts{bounds.begin};
  const std::tm first = LocalOrEpoch(bounds.begin);
  for (int day = 1; starts.back() < bounds.end && day <= 1000; ++day)
    starts.push_back(std::min(bounds.end, MidnightOffsetBy(first, day)));
  return starts;
}

std::optional<int64_t> ParseLocalMinute(const std::string& text) {
  if (text.size() != 16 || text[10] != ' ' || text[13] != ':') return std::nullopt;
  for (size_t i : {11, 12, 14, 15}) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  }
  std::optional<int64_t> day = DayStart(text.substr(0, 10));
  const int hour = std::stoi(text.substr(11, 2)), minute = std::stoi(text.substr(14, 2));
  if (!day || hour > 23 || minute > 59) return std::nullopt;
  std::tm local = LocalOrEpoch(*day);
  return platform::LocalTimeOf(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, hour, minute);
}

std::string DescribeDays(const PeriodBounds& bounds) {
  std::tm first = LocalOrEpoch(bounds.begin), last = LocalOrEpoch(bounds.end - 1);
  if (first.tm_year == last.tm_year && first.tm_yday == last.tm_yday)
    return DayText(bounds.begin, true);
  return DayText(bounds.begin, false) + " to " + DayText(bounds.end - 1, false);
}

PeriodBounds BoundsOfPeriod(ReportPeriod period, int64_t now) {
  std::tm today = LocalOrEpoch(now);
  switch (period) {
    case ReportPeriod::kPreviousDay:
      return {MidnightOffsetBy(today, -1), MidnightOffsetBy(today, 0)};
    case ReportPeriod::kPreviousWeek:
      return {MidnightOffsetBy(today, -7), MidnightOffsetBy(today, 0)};
    case ReportPeriod::kPreviousMonth:
      return {FirstOfMonthOffsetBy(today, -1), FirstOfMonthOffsetBy(today, 0)};
  }
  return {};
}

std::string DescribePeriod(ReportPeriod period, const PeriodBounds& bounds) {
  switch (period) {
    case ReportPeriod::kPreviousDay:
      return DayText(bounds.begin, true);
    case ReportPeriod::kPreviousWeek:
      // The last second of the period names its last day.
      return DayText(bounds.begin, false) + " to " + DayText(bounds.end - 1, false);
    case ReportPeriod::kPreviousMonth: {
      std::tm first = LocalOrEpoch(bounds.begin);
      return std::string(kMonthNames[first.tm_mon % 12]) + " " +
             std::to_string(first.tm_year + 1900);
    }
  }
  return {};
}

std::string FormatLocalTime(int64_t t) {
  std::tm local{};
  if (!platform::ToLocalTime(t, &local)) return std::to_string(t);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}
