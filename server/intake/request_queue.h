// The request queue: reports handed from the listener to the request worker.
//
// One producer (the listener's thread) and one consumer (the request
// worker's thread); every member may be called from any thread. One lock
// guards every entry; no call that waits is made while it is held.
//
// Senders are served in turn: the reports leave round-robin across sender
// addresses, each address's in their order of arrival, so that a flood from
// one address delays only that address. The queue is bounded by entries and
// by bytes so that a flood cannot exhaust memory. When a report does not
// fit, the newest report of the address with the most waiting is dropped:
// the newcomer itself when its own address has the most (ties included),
// else one of the flood's, so the flood pushes out only its own reports.
// Drops are counted, with one event-log line per burst; a burst ends when
// the queue has drained to half its bounds. A report equal to
// one already waiting (the same text from the same address) is not queued
// again; the twin that waits carries the same contact.
#ifndef SERVER_INTAKE_REQUEST_QUEUE_H_
#define SERVER_INTAKE_REQUEST_QUEUE_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

struct RequestEntry {
  RequestEntry() = default;
  RequestEntry(std::string report, int64_t arrival, std::optional<uint32_t> sender = std::nullopt)
      : text(std::move(report)), time(arrival), peer_address(sender) {}

  std::string text;
  int64_t time = 0;  // arrival, seconds since 1970-01-01 00:00 UTC
  // The sender's IPv4 address (host byte order), when known.
  std::optional<uint32_t> peer_address;
};

class CRequestQueue {
 public:
  static constexpr size_t kDefaultMaxEntries = 100000;
  static constexpr size_t kDefaultMaxBytes = 64u << 20;

  explicit CRequestQueue(size_t max_entries = kDefaultMaxEntries,
                         size_t max_bytes = kDefaultMaxBytes);
  CRequestQueue(const CRequestQueue&) = delete;
  CRequestQueue& operator=(const CRequestQueue&) = delete;

  // False when the entry was dropped because the queue is full; true when it
  // was queued (perhaps in place of a busier sender's newest) or an equal
  // entry is waiting.
  bool Push(RequestEntry entry);
  bool IsEmpty() const;
  // The next entry in serving order. Throws
  // std::runtime_error("SB Queue underflow !") when empty.
  RequestEntry Pop();
  // Up to `max` entries in serving order, under one lock; none when empty.
  std::vector<RequestEntry> PopUpTo(size_t max);
  size_t size() const;
  // Entries dropped since construction.
  uint64_t dropped() const;
  // Called after each Push that queued its report, outside the lock, on the
  // pushing thread: how the consumer learns that work waits. Set before
  // any Push runs, and cleared only when none can.
  void SetOnQueued(std::function<void()> on_queued) { on_queued_ = std::move(on_queued); }

 private:
  // One sender's waiting reports, oldest first. Unknown senders share one.
  using SenderKey = uint64_t;
  static SenderKey KeyOf(const RequestEntry& e);

  RequestEntry TakeNextLocked();
  // Drops reports of the busiest sender until `entry` fits; false when
  // `entry` itself is to be dropped.
  bool MakeRoomLocked(const RequestEntry& entry, SenderKey key);
  bool FitsLocked(const RequestEntry& entry) const;
  void SetCountLocked(SenderKey key, size_t before, size_t after);
  void DropNewestLocked(SenderKey key);

  std::function<void()> on_queued_;
  const size_t max_entries_;
  const size_t max_bytes_;
  mutable std::mutex mu_;
  // Everything below is guarded by mu_. A deque never moves its entries
  // while they wait, and the map never moves its deques, so waiting_ may
  // point into them.
  std::unordered_map<SenderKey, std::deque<RequestEntry>> senders_;
  std::deque<SenderKey> turns_;                     // senders with reports, next to serve first
  std::set<std::pair<size_t, SenderKey>> busiest_;  // (waiting, sender), most waiting last

  // Text and sender make a report; time does not.
  struct ReportHash {
    size_t operator()(const RequestEntry* e) const;
  };
  struct SameReport {
    bool operator()(const RequestEntry* a, const RequestEntry* b) const;
  };
  std::unordered_set<const RequestEntry*, ReportHash, SameReport> waiting_;
  size_t count_ = 0;
  size_t bytes_ = 0;       // sum of the texts' sizes
  bool dropping_ = false;  // inside a burst of drops
  uint64_t dropped_ = 0;
};

#endif  // SERVER_INTAKE_REQUEST_QUEUE_H_
