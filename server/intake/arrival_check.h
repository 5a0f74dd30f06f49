// CArrivalCheck: what the listener checks in a complete report before it
// queues it, so that a report the worker would only throw away never waits
// its turn nor costs a tool run. A report that names no user, computer or
// IP address (none of the three values can be taken out of it) is refused,
// and so are one whose three values the database tool would refuse
// (ContactValueProblem: a comma, a control character, U+2028 / U+2029,
// bytes that are not UTF-8, ...) and, with AgentAddressCheck on, one whose
// <ip> is not the address it came from. Each kind of refusal is counted, with one event-log line
// per burst. Listener's thread only.
#ifndef SERVER_INTAKE_ARRIVAL_CHECK_H_
#define SERVER_INTAKE_ARRIVAL_CHECK_H_

#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "server/base/refusal_counter.h"

class CArrivalCheck {
 public:
  explicit CArrivalCheck(platform::Clock& clock)
      : nameless_(clock), unusable_(clock), misaddressed_(clock) {}
  CArrivalCheck(const CArrivalCheck&) = delete;
  CArrivalCheck& operator=(const CArrivalCheck&) = delete;

  // True when the report from `sender` may be queued. Reads
  // AgentAddressCheck, like every value, where it is used.
  bool Admits(const std::string& report, std::optional<uint32_t> sender);

  uint64_t refused() const {
    return nameless_.refused() + unusable_.refused() + misaddressed_.refused();
  }

 private:
  bool Checks(const std::string& report, std::optional<uint32_t> sender);

  CRefusalCounter nameless_;
  CRefusalCounter unusable_;
  CRefusalCounter misaddressed_;
};

#endif  // SERVER_INTAKE_ARRIVAL_CHECK_H_
