#include "server/base/nightly_import_gate.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/test_support.h"

namespace {

TEST(NightlyImportGateTest, ReportsAndTheImportNeverOverlapAndReportsWaitForMidnight) {
  ScopedTimeZone zone("Europe/Paris");
  const int64_t evening = platform::LocalTimeOf(2026, 3, 5, 21, 0, 0);
  const int64_t midnight = platform::LocalTimeOf(2026, 3, 6, 0, 0, 1);
  NightlyImportGate gate;

  ASSERT_TRUE(gate.TryBeginReports(evening));
  EXPECT_FALSE(gate.TryBeginImport(evening));
  EXPECT_FALSE(gate.TryBeginReports(evening));
  gate.EndReports();

  // In minute 00:00 reports wait for the night's import to have begun, and
  // then for it to end.
  EXPECT_FALSE(gate.TryBeginReports(midnight));
  ASSERT_TRUE(gate.TryBeginImport(midnight + 1));
  EXPECT_FALSE(gate.TryBeginReports(midnight + 2));
  gate.EndImport();
  ASSERT_TRUE(gate.TryBeginReports(midnight + 3));
  gate.EndReports();

  // An import that is due but held up keeps the reports back after 00:01 too.
  gate.MarkImportDue();
  EXPECT_FALSE(gate.TryBeginReports(midnight + 120));
  ASSERT_TRUE(gate.TryBeginImport(midnight + 121));
  gate.EndImport();
  EXPECT_TRUE(gate.TryBeginReports(midnight + 122));
}

}  // namespace
