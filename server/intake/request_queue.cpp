#include "server/intake/request_queue.h"

#include <stdexcept>

void CRequestQueue::Push(const RequestEntry& entry) {
  std::lock_guard<std::mutex> lock(mu_);
  entries_.push_back(entry);
}

bool CRequestQueue::IsEmpty() const {
  std::lock_guard<std::mutex> lock(mu_);
  return entries_.empty();
}

RequestEntry CRequestQueue::Pop() {
  std::lock_guard<std::mutex> lock(mu_);
  if (entries_.empty()) throw std::runtime_error("SB Queue underflow !");
  RequestEntry entry = std::move(entries_.front());
  entries_.pop_front();
  return entry;
}
