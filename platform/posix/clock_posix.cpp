#include <ctime>

#include "platform/clock.h"

namespace platform {
namespace {

class SystemClockImpl final : public Clock {
 public:
  int64_t Now() const override { return int64_t(std::time(nullptr)); }
};

}  // namespace

Clock& SystemClock() {
  static SystemClockImpl clock;
  return clock;
}

bool ToLocalTime(int64_t t, std::tm* out) {
  std::time_t tt = std::time_t(t);
  return localtime_r(&tt, out) != nullptr;
}

int64_t FromLocalTime(std::tm local) { return int64_t(std::mktime(&local)); }

int64_t LocalTimeOf(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return FromLocalTime(local);
}

}  // namespace platform
