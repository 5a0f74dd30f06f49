// CRefusalCounter: counts refused agent connections or reports and writes
// one event-log line per burst of them, so that a flood of refusals cannot
// flood the log. The first refusal after kQuietSeconds without any writes
// its line; the rest of the burst is only counted, and the next line
// carries the total. Used on the one thread that refuses.
#ifndef SERVER_BASE_REFUSAL_COUNTER_H_
#define SERVER_BASE_REFUSAL_COUNTER_H_

#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "server/base/event_log.h"

class CRefusalCounter {
 public:
  static constexpr int64_t kQuietSeconds = 60;

  // `priority`: of the burst's line; a refusal that loses an agent's
  // report (a connection closed to make room) is a warning.
  explicit CRefusalCounter(platform::Clock& clock, EventPriority priority = EventPriority::kInfo)
      : clock_(clock), priority_(priority) {}
  CRefusalCounter(const CRefusalCounter&) = delete;
  CRefusalCounter& operator=(const CRefusalCounter&) = delete;

  // Counts one refusal; `what` is the line's first words when this one
  // starts a burst. True when a line was written.
  bool Count(const std::string& what);

  // Refusals since construction.
  uint64_t refused() const { return refused_; }

 private:
  platform::Clock& clock_;
  const EventPriority priority_;
  std::optional<int64_t> last_;  // time of the last refusal
  uint64_t refused_ = 0;
};

#endif  // SERVER_BASE_REFUSAL_COUNTER_H_
