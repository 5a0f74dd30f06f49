// Test helper: collects every event-log message and message box for the
// life of the object instead of writing them out. Messages may come from
// any thread.
#ifndef SERVER_BASE_EVENT_LOG_CAPTURE_H_
#define SERVER_BASE_EVENT_LOG_CAPTURE_H_

#include <mutex>
#include <string>
#include <vector>

#include "server/base/event_log.h"

class EventLogCapture {
 public:
  EventLogCapture() {
    SetEventLogSinkForTesting([this](const std::string& text) {
      std::lock_guard<std::mutex> lock(mu_);
      lines_.push_back(text);
    });
  }
  ~EventLogCapture() { SetEventLogSinkForTesting(nullptr); }
  EventLogCapture(const EventLogCapture&) = delete;
  EventLogCapture& operator=(const EventLogCapture&) = delete;

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(mu_);
    return lines_;
  }

 private:
  mutable std::mutex mu_;
  std::vector<std::string> lines_;  // guarded by mu_
};

#endif  // SERVER_BASE_EVENT_LOG_CAPTURE_H_
