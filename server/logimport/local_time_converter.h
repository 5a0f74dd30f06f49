// LocalTimeConverter: local calendar time to seconds since 1970, as mktime
// gives it (daylight saving left to the conversion, out-of-range fields
// normalised), for the million event times of a filter log. mktime is slow
// (it takes a lock and checks the zone on every call), so the start of
// each local day is converted once, and an in-range time on a day without
// a clock change is that start plus its seconds; everything else still goes
// through mktime. One thread at a time.
#ifndef SERVER_LOGIMPORT_LOCAL_TIME_CONVERTER_H_
#define SERVER_LOGIMPORT_LOCAL_TIME_CONVERTER_H_

#include <cstdint>
#include <ctime>
#include <unordered_map>

class LocalTimeConverter {
 public:
  int64_t Convert(const std::tm& local);

 private:
  struct Day {
    int64_t start = 0;
    bool steady = false;  // the date exists and its clock runs 24 even hours
  };
  const Day& DayOf(int year, int month, int day);

  std::unordered_map<int64_t, Day> days_;
};

#endif  // SERVER_LOGIMPORT_LOCAL_TIME_CONVERTER_H_
