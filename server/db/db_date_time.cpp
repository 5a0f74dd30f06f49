#include "server/db/db_date_time.h"

#include <ctime>

#include "platform/clock.h"

namespace {

// The local calendar time of `stamp`, or all zero (tm_mday 0, etc.) when
// the conversion fails, so every part then reads as 0.
std::tm Local(int64_t stamp, bool* ok) {
  std::tm tm{};
  *ok = platform::ToLocalTime(stamp, &tm);
  return tm;
}

}  // namespace

int32_t dbDateTime::year() const {
  bool ok;
  std::tm tm = Local(stamp, &ok);
  return ok ? tm.tm_year + 1900 : 0;
}

int32_t dbDateTime::month() const {
  bool ok;
  std::tm tm = Local(stamp, &ok);
  return ok ? tm.tm_mon + 1 : 0;
}

int32_t dbDateTime::day() const {
  bool ok;
  std::tm tm = Local(stamp, &ok);
  return ok ? tm.tm_mday : 0;
}

int32_t dbDateTime::dayOfYear() const {
  bool ok;
  std::tm tm = Local(stamp, &ok);
  return ok ? tm.tm_yday + 1 : 0;
}

int32_t dbDateTime::dayOfWeek() const {
  bool ok;
  std::tm tm = Local(stamp, &ok);
  return ok ? tm.tm_wday + 1 : 0;
}

int32_t dbDateTime::hour() const {
  bool ok;
  std::tm tm = Local(stamp, &ok);
  return ok ? tm.tm_hour : 0;
}

int32_t dbDateTime::minute() const {
  bool ok;
  std::tm tm = Local(stamp, &ok);
  return ok ? tm.tm_min : 0;
}

int32_t dbDateTime::second() const {
  bool ok;
  std::tm tm = Local(stamp, &ok);
  return ok ? tm.tm_sec : 0;
}
