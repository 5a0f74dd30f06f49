#include "tools/ledgerix/report_period.h"

#include <gtest/gtest.h>

#include "tools/ledgerix/test_support.h"

namespace {

struct PeriodCase {
  int64_t now;
  ReportPeriod period;
  int64_t begin;
  int64_t end;
  const char* description;
};

TEST(ReportPeriodTest, BoundsAndDescriptionsAcrossMonthAndYearEnds) {
  ScopedTimeZone zone("Europe/Berlin");
  const PeriodCase cases[] = {
      // An ordinary day, seen at the report hour and one second after midnight.
      {LocalTime(2026, 12, 8, 9), ReportPeriod::kPreviousDay, LocalTime(2026, 12, 7),
       LocalTime(2026, 12, 8), "Monday 7 December 2026"},
      {LocalTime(2026, 12, 8, 0, 0, 1), ReportPeriod::kPreviousDay, LocalTime(2026, 12, 7),
       LocalTime(2026, 12, 8), "Monday 7 December 2026"},
      // First of a month and of a year: the previous day is in the month before.
      {LocalTime(2027, 3, 1, 9), ReportPeriod::kPreviousDay, LocalTime(2027, 2, 28),
       LocalTime(2027, 3, 1), "Sunday 28 February 2027"},
      {LocalTime(2027, 1, 1, 9), ReportPeriod::kPreviousDay, LocalTime(2026, 12, 31),
       LocalTime(2027, 1, 1), "Thursday 31 December 2026"},
      // Seven days that reach back over a year end.
      {LocalTime(2027, 1, 3, 9), ReportPeriod::kPreviousWeek, LocalTime(2026, 12, 27),
       LocalTime(2027, 1, 3), "27 December 2026 to 2 January 2027"},
      {LocalTime(2024, 3, 1, 23, 59, 59), ReportPeriod::kPreviousWeek, LocalTime(2024, 2, 23),
       LocalTime(2024, 3, 1), "23 February 2024 to 29 February 2024"},
      // Calendar months, including the year change and a leap February.
      {LocalTime(2027, 1, 1, 9), ReportPeriod::kPreviousMonth, LocalTime(2026, 12, 1),
       LocalTime(2027, 1, 1), "December 2026"},
      {LocalTime(2024, 3, 31, 9), ReportPeriod::kPreviousMonth, LocalTime(2024, 2, 1),
       LocalTime(2024, 3, 1), "February 2024"},
  };
  for (const PeriodCase& c : cases) {
    PeriodBounds bounds = BoundsOfPeriod(c.period, c.now);
    EXPECT_EQ(bounds.begin, c.begin) << c.description;
    EXPECT_EQ(bounds.end, c.end) << c.description;
    EXPECT_EQ(DescribePeriod(c.period, bounds), c.description);
  }
}

TEST(ReportPeriodTest, DaysAroundDaylightSavingChangesFollowLocalMidnight) {
  ScopedTimeZone zone("Europe/Berlin");
  // 29 March 2026 has 23 hours in Berlin, 25 October 2026 has 25.
  PeriodBounds spring = BoundsOfPeriod(ReportPeriod::kPreviousDay, LocalTime(2026, 3, 30, 9));
  EXPECT_EQ(spring.end - spring.begin, 23 * 3600);
  PeriodBounds autumn = BoundsOfPeriod(ReportPeriod::kPreviousDay, LocalTime(2026, 10, 26, 9));
  EXPECT_EQ(autumn.end - autumn.begin, 25 * 3600);
  PeriodBounds week = BoundsOfPeriod(ReportPeriod::kPreviousWeek, LocalTime(2026, 10, 30, 9));
  EXPECT_EQ(week.begin, LocalTime(2026, 10, 23));
  EXPECT_EQ(week.end - week.begin, 7 * 86400 + 3600);
}

TEST(ReportPeriodTest, FormatsEventTimesInLocalTime) {
  ScopedTimeZone zone("America/New_York");
  EXPECT_EQ(FormatLocalTime(LocalTime(2026, 3, 5, 14, 7, 33)), "2026-03-05 14:07:33");
  EXPECT_EQ(FormatLocalTime(0), "1969-12-31 19:00:00");
}

}  // namespace
