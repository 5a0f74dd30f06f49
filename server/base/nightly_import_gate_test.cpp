#include "server/base/nightly_import_gate.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/test_support.h"

namespace {

int64_t Day(int64_t t) {
  std::tm local{};
  EXPECT_TRUE(platform::ToLocalTime(t, &local));
  return platform::DayNumber(local);
}

TEST(NightlyImportGateTest, ReportsAndTheImportNeverOverlapAndReportsWaitForTheNewDatesLook) {
  ScopedTimeZone zone("America/Santiago");
  const int64_t evening = platform::LocalTimeOf(2026, 9, 5, 21, 0, 0);
  // 6 September 2026 has no 00:00 there: 23:59:59 is followed by 01:00.
  const int64_t after_midnight = platform::LocalTimeOf(2026, 9, 5, 23, 59, 59) + 2;
  NightlyImportGate gate;

  EXPECT_FALSE(gate.TryBeginReports(evening));  // the importer has not looked yet
  gate.ImporterLooked(Day(evening), false);
  ASSERT_TRUE(gate.TryBeginReports(evening));
  EXPECT_FALSE(gate.TryBeginImport());
  EXPECT_FALSE(gate.TryBeginReports(evening));
  gate.EndReports();

  // A new date: reports wait for the importer's look at it, and then for
  // the night it found due to end.
  EXPECT_EQ(Day(after_midnight), Day(evening) + 1);
  EXPECT_FALSE(gate.TryBeginReports(after_midnight));
  gate.ImporterLooked(Day(after_midnight), true);
  EXPECT_FALSE(gate.TryBeginReports(after_midnight + 1));
  ASSERT_TRUE(gate.TryBeginImport());
  EXPECT_FALSE(gate.TryBeginReports(after_midnight + 2));
  gate.EndImport();
  ASSERT_TRUE(gate.TryBeginReports(after_midnight + 3));
  gate.EndReports();

  // A clock set back a day: the importer's later look still holds.
  EXPECT_TRUE(gate.TryBeginReports(evening));
  gate.EndReports();
}

TEST(NightlyImportGateTest, DayNumbersStepByOneAcrossDaylightSavingAndYears) {
  ScopedTimeZone zone("Europe/Berlin");
  std::tm local{};
  ASSERT_TRUE(platform::ToLocalTime(0, &local));
  EXPECT_EQ(platform::DayNumber(local), 0);
  const int64_t march28 = Day(platform::LocalTimeOf(2026, 3, 28, 12));
  EXPECT_EQ(Day(platform::LocalTimeOf(2026, 3, 29, 3)), march28 + 1);  // 02:00 skipped
  EXPECT_EQ(Day(platform::LocalTimeOf(2026, 3, 30, 0)), march28 + 2);
  EXPECT_EQ(Day(platform::LocalTimeOf(2027, 3, 28, 12)), march28 + 365);
  EXPECT_EQ(Day(platform::LocalTimeOf(2028, 3, 28, 12)), march28 + 731);  // 29 Feb 2028
}

}  // namespace
