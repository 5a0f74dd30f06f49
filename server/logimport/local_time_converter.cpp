#include "server/logimport/local_time_converter.h"

#include "platform/clock.h"

namespace {

constexpr size_t kMaxDays = 4096;  // a log spans a few days; this only bounds a forged one

std::tm Midnight(int year, int month, int day) {
  std::tm tm{};
  tm.tm_year = year;
  tm.tm_mon = month;
  tm.tm_mday = day;
  tm.tm_isdst = -1;
  return tm;
}

}  // namespace

const LocalTimeConverter::Day& LocalTimeConverter::DayOf(int year, int month, int day) {
  const int64_t key = (int64_t{year} * 12 + month) * 32 + day;
  auto it = days_.find(key);
  if (it != days_.end()) return it->second;
  if (days_.size() >= kMaxDays) days_.clear();
  std::tm start = Midnight(year, month, day);
  std::tm next = Midnight(year, month, day + 1);
  Day result;
  result.start = platform::FromLocalTime(start);
  const int64_t next_start = platform::FromLocalTime(next);
  std::tm check{};
  // The date must come back as itself (no 30 February), and the day must
  // be 24 hours long with the same offset at both ends.
  result.steady = platform::ToLocalTime(result.start, &check) && check.tm_year == year &&
                  check.tm_mon == month && check.tm_mday == day && check.tm_hour == 0 &&
                  check.tm_min == 0 && check.tm_sec == 0 && next_start - result.start == 86400;
  std::tm end{};
  if (result.steady && platform::ToLocalTime(next_start - 1, &end))
    result.steady = end.tm_isdst == check.tm_isdst;
  return days_.emplace(key, result).first->second;
}

int64_t LocalTimeConverter::Convert(const std::tm& local) {
  const bool in_range = local.tm_mon >= 0 && local.tm_mon < 12 && local.tm_mday >= 1 &&
                        local.tm_mday <= 31 && local.tm_hour >= 0 && local.tm_hour < 24 &&
                        local.tm_min >= 0 && local.tm_min < 60 && local.tm_sec >= 0 &&
                        local.tm_sec < 60;
  if (in_range) {
    const Day& day = DayOf(local.tm_year, local.tm_mon, local.tm_mday);
    if (day.steady) return day.start + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  }
  return platform::FromLocalTime(local);
}
