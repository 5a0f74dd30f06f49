#include "server/base/refusal_counter.h"

#include <gtest/gtest.h>

#include "server/base/event_log_capture.h"

namespace {

TEST(RefusalCounterTest, OneLinePerBurstWithTheRunningTotal) {
  EventLogCapture log;
  platform::FakeClock clock(1000);
  CRefusalCounter counter(clock);
  EXPECT_TRUE(counter.Count("Agent connection from 10.0.0.5 refused"));
  // Refusals closer together than the quiet spell are one burst, however
  // long it lasts.
  for (int i = 0; i < 100; ++i) {
    clock.Advance(CRefusalCounter::kQuietSeconds - 1);
    EXPECT_FALSE(counter.Count("again"));
  }
  clock.Advance(CRefusalCounter::kQuietSeconds);
  EXPECT_TRUE(counter.Count("Agent connection from 10.0.0.6 refused"));
  clock.Set(0);  // set back: a new burst
  EXPECT_TRUE(counter.Count("back"));
  EXPECT_EQ(counter.refused(), 103u);
  auto lines = log.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("Agent connection from 10.0.0.5 refused (1 refused since start;", 0), 0u)
      << lines[0];
  EXPECT_EQ(lines[1].rfind("Agent connection from 10.0.0.6 refused (102 refused since start;", 0),
            0u)
      << lines[1];
}

}  // namespace
