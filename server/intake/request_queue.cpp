#include "server/intake/request_queue.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <utility>

#include "server/base/event_log.h"
#include "server/base/server_metrics.h"

size_t CRequestQueue::ReportHash::operator()(const RequestEntry* e) const {
  return std::hash<std::string>()(e->text) * 31 +
         std::hash<std::optional<uint32_t>>()(e->peer_address);
}

bool CRequestQueue::SameReport::operator()(const RequestEntry* a, const RequestEntry* b) const {
  return a->text == b->text && a->peer_address == b->peer_address;
}

CRequestQueue::CRequestQueue(size_t max_entries, size_t max_bytes)
    : max_entries_(max_entries), max_bytes_(max_bytes) {}

// Above every IPv4 address: the reports whose sender is not known.
CRequestQueue::SenderKey CRequestQueue::KeyOf(const RequestEntry& e) {
  return e.peer_address ? SenderKey(*e.peer_address) : SenderKey(1) << 32;
}

bool CRequestQueue::Push(RequestEntry entry) {
  bool first_drop = false;
  bool queued = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (waiting_.count(&entry)) return server_metrics::ReportDropped("duplicate"), true;
    uint64_t dropped_before = dropped_;
    // A burst of drops lasts until the queue has drained to half: a queue
    // that stays full under a flood frees one place per report taken, and
    // each of those must not start a new burst (and a new line).
    bool drained = count_ * 2 <= max_entries_ && bytes_ * 2 <= max_bytes_;
    SenderKey key = KeyOf(entry);
    if (MakeRoomLocked(entry, key)) {
      std::deque<RequestEntry>& own = senders_[key];
      if (own.empty()) turns_.push_back(key);
      SetCountLocked(key, own.size(), own.size() + 1);
      own.push_back(std::move(entry));
      ++count_;
      bytes_ += own.back().text.size();
      waiting_.insert(&own.back());
      queued = true;
      server_metrics::ReportQueued();
    } else {
      ++dropped_;
      server_metrics::ReportDropped("queue_full");
    }
    server_metrics::SetQueueDepth(count_);
    if (dropped_ == dropped_before) {
      if (drained) dropping_ = false;  // the burst, if any, is over
    } else {
      first_drop = !dropping_;
      dropping_ = true;
    }
  }
  // Outside the lock: the event log may block on its own output.
  if (first_drop) {
    WriteEventLog(EventPriority::kWarning,
                  "Request queue full: reports are dropped until it drains");
  }
  if (queued && on_queued_) on_queued_();
  return queued;
}

bool CRequestQueue::FitsLocked(const RequestEntry& entry) const {
  return count_ < max_entries_ && entry.text.size() <= max_bytes_ - bytes_;
}

bool CRequestQueue::MakeRoomLocked(const RequestEntry& entry, SenderKey key) {
  if (entry.text.size() > max_bytes_ || max_entries_ == 0) return false;
  while (!FitsLocked(entry)) {
    auto own = senders_.find(key);
    size_t own_with_entry = (own == senders_.end() ? 0 : own->second.size()) + 1;
    const auto& [most, busiest] = *busiest_.rbegin();
    if (busiest == key || most <= own_with_entry) return false;
    DropNewestLocked(busiest);
  }
  return true;
}

void CRequestQueue::DropNewestLocked(SenderKey key) {
  std::deque<RequestEntry>& reports = senders_.at(key);
  waiting_.erase(&reports.back());
  bytes_ -= reports.back().text.size();
  --count_;
  ++dropped_;
  server_metrics::ReportDropped("queue_full");
  SetCountLocked(key, reports.size(), reports.size() - 1);
  reports.pop_back();
  if (reports.empty()) {
    turns_.erase(std::find(turns_.begin(), turns_.end(), key));
    senders_.erase(key);
  }
}

void CRequestQueue::SetCountLocked(SenderKey key, size_t before, size_t after) {
  if (before > 0) busiest_.erase({before, key});
  if (after > 0) busiest_.insert({after, key});
}

RequestEntry CRequestQueue::TakeNextLocked() {
  SenderKey key = turns_.front();
  turns_.pop_front();
  std::deque<RequestEntry>& reports = senders_.at(key);
  waiting_.erase(&reports.front());
  SetCountLocked(key, reports.size(), reports.size() - 1);
  RequestEntry entry = std::move(reports.front());
  reports.pop_front();
  --count_;
  bytes_ -= entry.text.size();
  if (reports.empty()) {
    senders_.erase(key);
  } else {
    turns_.push_back(key);  // its next report waits for every other sender's turn
  }
  return entry;
}

bool CRequestQueue::IsEmpty() const {
  std::lock_guard<std::mutex> lock(mu_);
  return count_ == 0;
}

RequestEntry CRequestQueue::Pop() {
  std::lock_guard<std::mutex> lock(mu_);
  if (count_ == 0) throw std::runtime_error("SB Queue underflow !");
  return TakeNextLocked();
}

std::vector<RequestEntry> CRequestQueue::PopUpTo(size_t max) {
  std::vector<RequestEntry> taken;
  std::lock_guard<std::mutex> lock(mu_);
  taken.reserve(std::min(max, count_));
  while (taken.size() < max && count_ > 0) taken.push_back(TakeNextLocked());
  for (const RequestEntry& e : taken) server_metrics::ReportTaken(e.time);
  server_metrics::SetQueueDepth(count_);
  return taken;
}

size_t CRequestQueue::size() const {
  std::lock_guard<std::mutex> lock(mu_);
  return count_;
}

uint64_t CRequestQueue::dropped() const {
  std::lock_guard<std::mutex> lock(mu_);
  return dropped_;
}
