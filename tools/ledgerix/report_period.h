// The periods the reports cover, in local time (TZ honoured): the day
// before today, the seven days before today, and the calendar month before
// the current one. Each period ends at the start of today (or of the
// current month), so a report never includes the day it is made on.
// Pure functions; any thread.
#ifndef TOOLS_LEDGERIX_REPORT_PERIOD_H_
#define TOOLS_LEDGERIX_REPORT_PERIOD_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/report_table.h"

// Seconds since 1970: begin <= t < end.
struct PeriodBounds {
  int64_t begin = 0;
  int64_t end = 0;
};

PeriodBounds BoundsOfPeriod(ReportPeriod period, int64_t now);

// The period for people: "Monday 7 December 2026", "1 December 2026 to
// 7 December 2026", "November 2026".
std::string DescribePeriod(ReportPeriod period, const PeriodBounds& bounds);

// The days from `first` to `last` (YYYY-MM-DD, inclusive) as bounds from
// the local midnight that begins `first` to the one that ends `last`;
// nullopt unless both are real dates in that form and `first` <= `last`.
std::optional<PeriodBounds> BoundsOfDays(const std::string& first, const std::string& last);

// The local days the bounds cover (a day of a clock change counts once).
int DaysIn(const PeriodBounds& bounds);

// The local midnights from bounds.begin up to bounds.end, each day's start
// then the end: one more entry than days.
std::vector<int64_t> DayStarts(const PeriodBounds& bounds);

// "YYYY-MM-DD HH:MM" of a local date and time that exists, as seconds since
// 1970; nullopt otherwise.
std::optional<int64_t> ParseLocalMinute(const std::string& text);

// Such a period for people: one day as "Monday 7 December 2026", more as
// "1 December 2026 to 7 December 2026".
std::string DescribeDays(const PeriodBounds& bounds);

// "2026-12-07 14:05:09" in local time; used for event times.
std::string FormatLocalTime(int64_t t);

#endif  // TOOLS_LEDGERIX_REPORT_PERIOD_H_
