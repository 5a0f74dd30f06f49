// The request queue: reports handed from the listener to the request worker.
//
// One producer (the listener's thread) and one consumer (the request
// worker's thread); every member may be called from any thread. One lock
// guards every entry; no call that waits is made while it is held. The queue
// is bounded by entries and by bytes so that a flood of connections cannot
// exhaust memory: what does not fit is dropped, with one event-log line per
// burst of drops. A report equal to one already waiting (the same text from
// the same address) is not queued again, so an agent that repeats itself
// cannot push other agents' reports out in a burst; the twin that waits
// carries the same contact.
#ifndef SERVER_INTAKE_REQUEST_QUEUE_H_
#define SERVER_INTAKE_REQUEST_QUEUE_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

struct RequestEntry {
  RequestEntry() = default;
  RequestEntry(std::string text, int64_t time, std::optional<uint32_t> peer_address = std::nullopt)
      : text(std::move(text)), time(time), peer_address(peer_address) {}

  std::string text;
  int64_t time = 0;  // arrival, seconds since 1970-01-01 00:00 UTC
  // The sender's IPv4 address (host byte order), when known.
  std::optional<uint32_t> peer_address;
};

class CRequestQueue {
 public:
  static constexpr size_t kDefaultMaxEntries = 10000;
  static constexpr size_t kDefaultMaxBytes = 64u << 20;

  explicit CRequestQueue(size_t max_entries = kDefaultMaxEntries,
                         size_t max_bytes = kDefaultMaxBytes);
  CRequestQueue(const CRequestQueue&) = delete;
  CRequestQueue& operator=(const CRequestQueue&) = delete;

  // False when the entry was dropped because the queue is full; true when it
  // was queued or an equal entry is waiting.
  bool Push(RequestEntry entry);
  bool IsEmpty() const;
  // Throws std::runtime_error("SB Queue underflow !") when empty.
  RequestEntry Pop();
  // Removes and returns up to `max` entries, oldest first (none when empty).
  std::vector<RequestEntry> PopUpTo(size_t max);
  size_t size() const;
  // Entries dropped since construction.
  uint64_t dropped() const;

 private:
  const size_t max_entries_;
  const size_t max_bytes_;
  mutable std::mutex mu_;
  std::deque<RequestEntry> entries_;  // guarded by mu_
  // Text and sender make a report; time does not.
  struct ReportHash {
    size_t operator()(const RequestEntry* e) const;
  };
  struct SameReport {
    bool operator()(const RequestEntry* a, const RequestEntry* b) const;
  };

  // The entries of entries_, which a deque never moves while they wait.
  std::unordered_set<const RequestEntry*, ReportHash, SameReport> waiting_;  // guarded by mu_
  size_t bytes_ = 0;       // guarded by mu_: sum of the texts' sizes
  bool dropping_ = false;  // guarded by mu_: inside a burst of drops
  uint64_t dropped_ = 0;   // guarded by mu_
};

#endif  // SERVER_INTAKE_REQUEST_QUEUE_H_
