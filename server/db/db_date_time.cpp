#include "server/db/db_date_time.h"

#include <ctime>

#include "platform/clock.h"

namespace {

// One field of the local calendar time of `stamp`, with `offset` added;
// 0 when the conversion fails.
int32_t LocalPart(int64_t stamp, int std::tm::*field, int offset) {
  std::tm tm{};
  if (!platform::ToLocalTime(stamp, &tm)) return 0;
  return tm.*field + offset;
}

}  // namespace

int32_t dbDateTime::year() const { return LocalPart(stamp, &std::tm::tm_year, 1900); }
int32_t dbDateTime::month() const { return LocalPart(stamp, &std::tm::tm_mon, 1); }
int32_t dbDateTime::day() const { return LocalPart(stamp, &std::tm::tm_mday, 0); }
int32_t dbDateTime::dayOfYear() const { return LocalPart(stamp, &std::tm::tm_yday, 1); }
int32_t dbDateTime::dayOfWeek() const { return LocalPart(stamp, &std::tm::tm_wday, 1); }
int32_t dbDateTime::hour() const { return LocalPart(stamp, &std::tm::tm_hour, 0); }
int32_t dbDateTime::minute() const { return LocalPart(stamp, &std::tm::tm_min, 0); }
int32_t dbDateTime::second() const { return LocalPart(stamp, &std::tm::tm_sec, 0); }
