// CLogManagerThread: the request worker, the request queue's only consumer.
// Each pass takes what waits, up to kMaxReportsPerPass reports in the
// queue's order, hands their contacts to the database tool in that order
// with one run of `ledgerix record` (see ContactHandOff: an older tool gets
// one `ledgerix 6` per contact), then refreshes the IP log once from the
// tool's list (see server/base/refresh_ip_log.h), and pauses 100 ms, or
// until the queue takes a report. A pass costs two tool runs and one
// rewrite of the files whatever its size, so a report that arrives during a
// pass waits for one short pass, and one that arrives between passes for
// none.
//
// Reports the listener refuses on arrival (see CArrivalCheck) never reach
// it. A report without the three values is passed over; one with a value
// the tool would refuse (ContactValueProblem) too, said once for a run of
// passes that refuse reports. Contacts whose record failed are tried again in
// the next passes, before newer ones (ContactHandOff). A list that cannot
// replace the IP log is reported once for a run of passes failing the same
// way.
//
// On a stop the worker works off everything waiting in one pass, while
// kStopRecording allows, refreshes the IP log one last time within
// kStopListing, and then writes one line naming the reports left
// unprocessed, if any.
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

#include "platform/process.h"
#include "server/base/cthread.h"
#include "server/intake/request_queue.h"
#include "server/processing/contact_hand_off.h"

class CLogManagerThread final : public CThread {
 public:
  static constexpr std::chrono::milliseconds kPassInterval{100};
  // A pass records its reports in tens of milliseconds; its list
  // (`ledgerix 7`) costs the same whatever the pass's size, about 0.2 s on
  // a store of 100,000 contacts. Large enough that a storm of logons goes
  // in few passes, small enough that another address's report waits at most
  // about two passes behind a flood.
  static constexpr size_t kMaxReportsPerPass = 2000;
  // Measured from the stop request: the last run of `ledgerix record`
  // starts by kStopRecording, the last list ends by kStopListing. A tool
  // still running at the end gets platform::kStopGrace more, so the worker
  // ends within 10 seconds.
  static constexpr std::chrono::milliseconds kStopRecording{4000};
  static constexpr std::chrono::milliseconds kStopListing{7000};
  // Once stopping, the longest one run of the tool may take when recording
  // (everything waiting takes well under a second); a tool that hangs is
  // ended after it.
  static constexpr std::chrono::milliseconds kStopToolRun{2000};

  explicit CLogManagerThread(CRequestQueue& queue);
  ~CLogManagerThread() override;

  uint32_t Run(uint32_t arg) override;

  // One pass over `entries`, in their order, after the contacts still
  // waiting from earlier passes: extraction, then one hand-off of all the
  // contacts unless `recording_stop` says stop; then, when any contact was
  // recorded, one refresh of the IP log, which `listing_stop` can end.
  // Returns the number of contacts left waiting (failed, or kept from
  // their run by the stop). Never throws.
  size_t ProcessReports(const std::vector<RequestEntry>& entries,
                        const platform::StopCheck& recording_stop = {},
                        const platform::StopCheck& listing_stop = {});

 protected:
  void OnStopRequested() override;

 private:
  enum class Taken { kContact, kNone, kRefused };
  // Adds the report's contact to the hand-off: kNone when it lacks one of
  // the three values, kRefused when the tool would refuse one.
  Taken TakeContactOf(const std::string& report);
  // Once for a run of passes with refused reports.
  void TellRefused(size_t refused);
  void RefreshList(const platform::StopCheck& stop);
  bool PauseBeforeNextPass();
  platform::StopCheck BoundedAtStop(const platform::StopCheck& stop) const;
  // True once `allowance` has passed since the stop request.
  bool PastStop(std::chrono::milliseconds allowance) const;

  CRequestQueue& queue_;
  ContactHandOff hand_off_;
  bool refusing_ = false;     // the last pass refused reports (and said so)
  std::string list_problem_;  // worker's thread only: the refresh failure last told
  // Steady-clock nanoseconds of the stop request; 0 before it.
  std::atomic<int64_t> stop_requested_at_{0};
};

#endif  // SERVER_PROCESSING_LOG_MANAGER_THREAD_H_
