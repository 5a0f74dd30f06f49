#include "server/intake/request_queue.h"

#include <functional>
#include <stdexcept>
#include <utility>

#include "server/base/event_log.h"

size_t CRequestQueue::ReportHash::operator()(const RequestEntry* e) const {
  return std::hash<std::string>()(e->text) * 31 +
         std::hash<std::optional<uint32_t>>()(e->peer_address);
}

bool CRequestQueue::SameReport::operator()(const RequestEntry* a, const RequestEntry* b) const {
  return a->text == b->text && a->peer_address == b->peer_address;
}

CRequestQueue::CRequestQueue(size_t max_entries, size_t max_bytes)
    : max_entries_(max_entries), max_bytes_(max_bytes) {}

bool CRequestQueue::Push(RequestEntry entry) {
  bool first_drop = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (waiting_.count(&entry)) return true;
    bool fits = entries_.size() < max_entries_ && entry.text.size() <= max_bytes_ - bytes_;
    if (fits) {
      entries_.push_back(std::move(entry));
      bytes_ += entries_.back().text.size();
      waiting_.insert(&entries_.back());
      dropping_ = false;  // the burst, if any, is over
      return true;
    }
    ++dropped_;
    first_drop = !dropping_;
    dropping_ = true;
  }
  // Outside the lock: the event log may block on its own output.
  if (first_drop) WriteEventLog("Request queue full: reports are dropped until it drains");
  return false;
}

bool CRequestQueue::IsEmpty() const {
  std::lock_guard<std::mutex> lock(mu_);
  return entries_.empty();
}

RequestEntry CRequestQueue::Pop() {
  std::lock_guard<std::mutex> lock(mu_);
  if (entries_.empty()) throw std::runtime_error("SB Queue underflow !");
  waiting_.erase(&entries_.front());
  RequestEntry entry = std::move(entries_.front());
  entries_.pop_front();
  bytes_ -= entry.text.size();
  return entry;
}

std::vector<RequestEntry> CRequestQueue::PopUpTo(size_t max) {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<RequestEntry> taken;
  while (taken.size() < max && !entries_.empty()) {
    waiting_.erase(&entries_.front());
    bytes_ -= entries_.front().text.size();
    taken.push_back(std::move(entries_.front()));
    entries_.pop_front();
  }
  return taken;
}

size_t CRequestQueue::size() const {
  std::lock_guard<std::mutex> lock(mu_);
  return entries_.size();
}

uint64_t CRequestQueue::dropped() const {
  std::lock_guard<std::mutex> lock(mu_);
  return dropped_;
}
