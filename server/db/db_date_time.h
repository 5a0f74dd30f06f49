// dbDateTime: a point in time as stored in the activity database (seconds
// since 1970-01-01 00:00 UTC, 64-bit so dates after 2038 stay right), with
// its calendar parts in local time (TZ honoured). A plain value; any thread.
#ifndef SERVER_DB_DB_DATE_TIME_H_
#define SERVER_DB_DB_DATE_TIME_H_

#include <cstdint>

class dbDateTime {
 public:
  dbDateTime() = default;
  explicit dbDateTime(int64_t stamp) : stamp(stamp) {}

  int64_t getTime() const { return stamp; }

  // Local-time parts; all 0 when the time cannot be converted.
  int32_t year() const;       // full year, e.g. 2026
  int32_t month() const;      // 1-12
  int32_t day() const;        // day of month, 1-31
  int32_t dayOfYear() const;  // 1-366
  int32_t dayOfWeek() const;  // 1-7, 1 is Sunday
  int32_t hour() const;       // 0-23
  int32_t minute() const;     // 0-59
  int32_t second() const;     // 0-59 (60 on a leap second)

  int64_t stamp = 0;
};

#endif  // SERVER_DB_DB_DATE_TIME_H_
