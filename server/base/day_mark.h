// DayMark: the local date a once-a-day task last ran for, so that the task
// runs at the first look on or after its time of a new date, whatever hour
// that look falls in (a midnight or a report hour that daylight saving
// skips), and never twice for one date (a clock set back across its time).
//
// A date is a platform::DayNumber. Not thread-safe: one worker owns it.
#ifndef SERVER_BASE_DAY_MARK_H_
#define SERVER_BASE_DAY_MARK_H_

#include <cstdint>
#include <optional>

class DayMark {
 public:
  // Whether the task is due on `today`: its time of day has come
  // (`time_reached`) and it has not run for `today` or a later date.
  //
  // The first look (a start), and a look more than a day before the marked
  // date (a clock set back by days, where waiting for the marked date to
  // come round again would skip every day in between), take `today` as
  // done already unless `today_still_due`: the task's time has not passed
  // yet, so a start after it does not run a day that ran before the start.
  bool Due(int64_t today, bool time_reached, bool today_still_due);
  // The task ran (or was settled) for `today`.
  void Mark(int64_t today) { marked_ = today; }
  std::optional<int64_t> marked() const { return marked_; }

 private:
  std::optional<int64_t> marked_;
};

#endif  // SERVER_BASE_DAY_MARK_H_
