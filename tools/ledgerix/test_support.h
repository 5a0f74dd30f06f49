// Test helpers of the ledgerix tests: the shared temporary folder and time
// zone helpers, and local dates as plain numbers.
#ifndef TOOLS_LEDGERIX_TEST_SUPPORT_H_
#define TOOLS_LEDGERIX_TEST_SUPPORT_H_

#include <cstdint>

#include "platform/clock.h"
#include "platform/test_support.h"

// Seconds since 1970 of a local date and time.
inline int64_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0,
                         int second = 0) {
  return platform::LocalTimeOf(year, month, day, hour, minute, second);
}

#endif  // TOOLS_LEDGERIX_TEST_SUPPORT_H_
