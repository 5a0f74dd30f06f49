// CLogManagerThread: the request worker, the request queue's only consumer.
// Each pass takes what waits, up to kMaxReportsPerPass reports in the
// queue's order, hands each report's contact to the database tool (mode 6)
// in that order, then refreshes the IP log once from the tool's list (see
// server/base/refresh_ip_log.h), and pauses 100 ms. A report that arrives
// alone is thus handled as it always was: mode 6, mode 7, the files.
//
// Reports the listener refuses on arrival (see CArrivalCheck) never reach
// it. A failure in one report's processing is reported and the worker goes
// on. A list that
// cannot replace the IP log is reported once for a run of passes failing
// the same way.
//
// On a stop the worker goes on working off what waits for kStopRecording,
// refreshes the IP log one last time within kStopListing, and then writes
// one line naming the reports left unprocessed, if any.
//
// Construction, Start and Stop belong to the owning thread; the rest runs
// on the worker's own thread.
#ifndef SERVER_PROCESSING_LOG_MANAGER_THREAD_H_
#define SERVER_PROCESSING_LOG_MANAGER_THREAD_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/process.h"
#include "server/base/cthread.h"
#include "server/intake/request_queue.h"

class CLogManagerThread final : public CThread {
 public:
  static constexpr std::chrono::milliseconds kPassInterval{100};
  static constexpr size_t kMaxReportsPerPass = 256;
  // Measured from the stop request. A tool still running at the end gets
  // platform::kStopGrace more, so the worker ends well within 10 seconds.
  static constexpr std::chrono::milliseconds kStopRecording{5000};
  static constexpr std::chrono::milliseconds kStopListing{6000};
  // Once stopping, the longest one run of mode 6 may take (it takes
  // milliseconds); a tool that hangs is ended after it.
  static constexpr std::chrono::milliseconds kStopToolRun{1000};

  explicit CLogManagerThread(CRequestQueue& queue,
                             platform::Clock& clock = platform::SystemClock());
  ~CLogManagerThread() override;

  uint32_t Run(uint32_t arg) override;

  // One pass over `entries`, in their order: extraction and the mode-6 call
  // for each report that carries a usable contact, until `recording_stop`
  // says stop; then, when any report went all the way through, one refresh
  // of the IP log,
  // which `listing_stop` can end. Returns the number of reports not worked
  // off because of the stop. Never throws.
  size_t ProcessReports(const std::vector<RequestEntry>& entries,
                        const platform::StopCheck& recording_stop = {},
                        const platform::StopCheck& listing_stop = {});

 protected:
  void OnStopRequested() override;

 private:
  // False when the stop kept the contact from being recorded.
  bool RecordContactOf(const std::string& report, const platform::StopCheck& stop);
  void RefreshList(const platform::StopCheck& stop);
  platform::StopCheck BoundedAtStop(const platform::StopCheck& stop) const;
  // True once `allowance` has passed since the stop request.
  bool PastStop(std::chrono::milliseconds allowance) const;

  CRequestQueue& queue_;
  std::string list_problem_;  // worker's thread only: the refresh failure last told
  // Steady-clock nanoseconds of the stop request; 0 before it.
  std::atomic<int64_t> stop_requested_at_{0};
};

#endif  // SERVER_PROCESSING_LOG_MANAGER_THREAD_H_
