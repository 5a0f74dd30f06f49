// The request queue: reports handed from the listener to the request worker.
// One lock guards every entry; no call that waits is made while it is held.
#ifndef SERVER_INTAKE_REQUEST_QUEUE_H_
#define SERVER_INTAKE_REQUEST_QUEUE_H_

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

struct RequestEntry {
  std::string text;
  int64_t time = 0;  // arrival, seconds since 1970-01-01 00:00 UTC
};

class CRequestQueue {
 public:
  CRequestQueue() = default;
  CRequestQueue(const CRequestQueue&) = delete;
  CRequestQueue& operator=(const CRequestQueue&) = delete;

  void Push(const RequestEntry& entry);
  bool IsEmpty() const;
  // Throws std::runtime_error("SB Queue underflow !") when empty.
  RequestEntry Pop();

 private:
  mutable std::mutex mu_;
  std::deque<RequestEntry> entries_;  // guarded by mu_
};

#endif  // SERVER_INTAKE_REQUEST_QUEUE_H_
