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

int64_t DayNumber(const std::tm& local) {
  // The proleptic Gregorian count of days (H. Hinnant's days_from_civil).
  const int64_t month = local.tm_mon + 1;
  const int64_t year = int64_t(local.tm_year) + 1900 - (month <= 2 ? 1 : 0);
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + local.tm_mday - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

}  // namespace platform
