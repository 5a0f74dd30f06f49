// ContactHandOff: the contacts the request worker has taken from its
// reports and not yet seen recorded, and their hand-off to the database
// tool. A try hands all of them, in their order, to one run of
// `ledgerix record`; an older tool that does not know that mode gets one
// `ledgerix 6` per contact instead, as before (said once in the event log,
// and kept so until the server restarts).
//
// A contact whose record failed stays, in its order, for the next try, up
// to kMaxTries tries; the pause before that try doubles after each failed
// one, from kFirstRetryPause to kLongestRetryPause, so a full disk or a
// crashed tool has minutes to recover. One event-log line per run of failed
// tries names the reports not recorded and why; giving contacts up is said
// too.
//
// Used by the request worker's thread alone.
#ifndef SERVER_PROCESSING_CONTACT_HAND_OFF_H_
#define SERVER_PROCESSING_CONTACT_HAND_OFF_H_

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>

#include "platform/process.h"
#include "server/processing/database_tool_calls.h"

class ContactHandOff {
 public:
  static constexpr int kMaxTries = 10;
  static constexpr std::chrono::milliseconds kFirstRetryPause{1000};
  static constexpr std::chrono::milliseconds kLongestRetryPause{30000};

  // Queues `contact` after those waiting.
  void Add(AgentContact contact);
  size_t waiting() const { return waiting_.size(); }

  // One try for every contact waiting. Returns the number recorded; the
  // rest wait (failed, or kept from their run by `stop`).
  size_t Try(const platform::StopCheck& stop);

  // True when the last try failed; then the next waits RetryPause().
  bool failing() const { return failed_tries_ > 0; }
  std::chrono::milliseconds RetryPause() const;

 private:
  struct Waiting {
    AgentContact contact;
    int tries = 0;
  };

  // One `ledgerix 6` for each contact in order, until one fails or a stop.
  ToolRunResult RecordOneByOne(size_t* recorded, const platform::StopCheck& stop);
  // After a try that failed, the recorded contacts gone: counts the try,
  // says so at the first of a run, gives up the contacts out of tries.
  void Failed(const std::string& problem);

  std::deque<Waiting> waiting_;
  bool older_tool_ = false;  // the tool refused `record`
  int failed_tries_ = 0;     // tries failed in a row
};

#endif  // SERVER_PROCESSING_CONTACT_HAND_OFF_H_
