// The import's own pieces: the local time conversion and the site table.
#include <gtest/gtest.h>

#include <ctime>
#include <limits>

#include "platform/clock.h"
#include "platform/test_support.h"
#include "server/logimport/local_time_converter.h"
#include "server/logimport/site_table.h"

namespace {

TEST(LocalTimeConverterTest, AgreesWithMktimeAcrossClockChanges) {
  // Paris changes at 02:00 and 03:00; Havana at midnight, so its spring
  // day starts at 01:00.
  for (const char* zone : {"Europe/Paris", "America/Havana", "UTC0"}) {
    ScopedTimeZone scoped(zone);
    LocalTimeConverter converter;
    auto check = [&](int year, int month, int day, int hour, int minute, int second) {
      // The hour that autumn repeats has two answers, and mktime's choice
      // depends on its earlier calls.
      if (month == 10 && day == 25 && hour == 2 && zone[0] == 'E') return;
      if (month == 11 && day == 1 && hour == 0 && zone[0] == 'A') return;
      std::tm tm{};
      tm.tm_year = year - 1900;
      tm.tm_mon = month - 1;
      tm.tm_mday = day;
      tm.tm_hour = hour;
      tm.tm_min = minute;
      tm.tm_sec = second;
      tm.tm_isdst = -1;
      EXPECT_EQ(converter.Convert(tm), platform::FromLocalTime(tm))
          << zone << " " << year << "-" << month << "-" << day << " " << hour << ":" << minute
          << ":" << second;
    };
    for (int day : {7, 8, 9, 28, 29, 30})
      for (int hour = 0; hour < 24; ++hour) check(2026, 3, day, hour, 30, 15);
    for (int day : {24, 25, 26, 31})
      for (int hour = 0; hour < 24; ++hour) check(2026, 10, day, hour, 0, 0);
    for (int day = 1; day <= 8; ++day)
      for (int hour = 0; hour < 24; hour += 1) check(2026, 11, day, hour, 59, 59);
    check(2026, 2, 30, 12, 0, 0);  // normalised into March
    check(2026, 3, 5, 24, 0, 0);
    check(2026, 3, 5, 10, 75, -3);
    check(2026, 13, 1, 0, 0, 0);
  }
}

TEST(SiteTableTest, SumsReplacesAndKeepsFirstSeenOrder) {
  CSiteTable table;
  table.Add("host1", 5);
  table.Add("host2", 1);
  table.Add("host1", 7);
  table.Replace("host3", 5);
  table.Replace("host3", 7);
  table.Add("host0", std::numeric_limits<int32_t>::max());
  table.Add("host0", 1);  // wraps like a 32-bit signed addition
  ASSERT_EQ(table.entries().size(), 4u);
  EXPECT_EQ(table.entries()[0].url, "host1");
  EXPECT_EQ(table.entries()[0].size, 12);
  EXPECT_EQ(table.entries()[1].url, "host2");
  EXPECT_EQ(table.entries()[2].size, 7);
  EXPECT_EQ(table.entries()[3].size, std::numeric_limits<int32_t>::min());
}

}  // namespace
