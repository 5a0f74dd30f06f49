// dbDateTime: a point in time as stored in the activity database (seconds
// since 1970-01-01 00:00 UTC, 64-bit so dates after 2038 stay right). A
// plain value; any thread.
#ifndef SERVER_DB_DB_DATE_TIME_H_
#define SERVER_DB_DB_DATE_TIME_H_

#include <cstdint>

class dbDateTime {
 public:
  dbDateTime() = default;
  explicit dbDateTime(int64_t seconds) : stamp(seconds) {}

  int64_t getTime() const { return stamp; }

  int64_t stamp = 0;
};

#endif  // SERVER_DB_DB_DATE_TIME_H_
