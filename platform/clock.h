// Time as the schedulers see it. Everything that reads the time takes a
// Clock, so tests can run a midnight or a report hour in milliseconds.
#ifndef PLATFORM_CLOCK_H_
#define PLATFORM_CLOCK_H_

#include <cstdint>
#include <ctime>
#include <mutex>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970-01-01 00:00 UTC.
  virtual int64_t Now() const = 0;
};

// The system's clock (time(2)); one process-wide instance.
Clock& SystemClock();

// Local calendar time of `t` (localtime_r, honouring TZ); false on failure.
bool ToLocalTime(int64_t t, std::tm* out);
// Seconds since 1970 of a local calendar time (mktime; tm_isdst as given).
int64_t FromLocalTime(std::tm local);
// Seconds since 1970 of a local date and time, daylight saving time left to
// the conversion; month 1-12. Out-of-range fields are normalised.
int64_t LocalTimeOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// The calendar date of `local` as a count of days since 1970-01-01, so that
// dates compare and step by one whatever the time zone did to the hours.
int64_t DayNumber(const std::tm& local);

// A clock that stands still until a test moves it. Thread-safe.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(int64_t now = 0) : now_(now) {}
  int64_t Now() const override {
    std::lock_guard<std::mutex> lock(mu_);
    return now_;
  }
  void Set(int64_t now) {
    std::lock_guard<std::mutex> lock(mu_);
    now_ = now;
  }
  void Advance(int64_t seconds) {
    std::lock_guard<std::mutex> lock(mu_);
    now_ += seconds;
  }

 private:
  mutable std::mutex mu_;
  int64_t now_;  // guarded by mu_
};

}  // namespace platform

#endif  // PLATFORM_CLOCK_H_
