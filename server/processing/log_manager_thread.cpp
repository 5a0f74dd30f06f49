#include "server/processing/log_manager_thread.h"

#include <algorithm>
#include <exception>

#include "common/contact_values.h"
#include "server/base/event_log.h"
#include "server/base/refresh_ip_log.h"
#include "server/formats/extract_contact_info.h"

// A report that arrives while the worker waits between passes starts the
// next pass at once rather than at the end of the interval.
CLogManagerThread::CLogManagerThread(CRequestQueue& queue) : queue_(queue) {
  queue_.SetOnQueued([this] { Wake(); });
}

CLogManagerThread::~CLogManagerThread() {
  Stop();
  queue_.SetOnQueued(nullptr);
}

uint32_t CLogManagerThread::Run(uint32_t) {
  const platform::StopCheck recording_stop = [this] { return PastStop(kStopRecording); };
  const platform::StopCheck listing_stop = [this] { return PastStop(kStopListing); };
  do {
    const size_t room = kMaxReportsPerPass - std::min(kMaxReportsPerPass, hand_off_.waiting());
    ProcessReports(queue_.PopUpTo(room), recording_stop, listing_stop);
  } while (PauseBeforeNextPass());
  // What waits at a stop was sent by agents that will not send it again
  // soon: everything in one pass, then again for what came meanwhile, while
  // the stop allows and the tool records.
  while (!recording_stop() && !hand_off_.failing()) {
    std::vector<RequestEntry> entries = queue_.PopUpTo(CRequestQueue::kDefaultMaxEntries);
    if (entries.empty() && hand_off_.waiting() == 0) break;
    ProcessReports(entries, recording_stop, listing_stop);
  }
  const size_t left = hand_off_.waiting() + queue_.size();
  if (left > 0)
    WriteEventLog(EventPriority::kWarning, "Stopped with %zu agent %s not processed", left,
                  left == 1 ? "report" : "reports");
  return 0;
}

// Between passes kPassInterval, or until a report is queued; after a failed
// record the whole retry pause, whatever arrives meanwhile.
bool CLogManagerThread::PauseBeforeNextPass() {
  if (!hand_off_.failing()) return SleepFor(kPassInterval);
  const auto until = std::chrono::steady_clock::now() + hand_off_.RetryPause();
  for (auto now = std::chrono::steady_clock::now(); now < until;
       now = std::chrono::steady_clock::now()) {
    if (!SleepFor(std::chrono::ceil<std::chrono::milliseconds>(until - now))) return false;
  }
  return true;
}

void CLogManagerThread::OnStopRequested() {
  stop_requested_at_ = std::chrono::steady_clock::now().time_since_epoch().count();
}

bool CLogManagerThread::PastStop(std::chrono::milliseconds allowance) const {
  if (!StopRequested()) return false;
  const int64_t at = stop_requested_at_;
  if (at == 0) return false;  // the flag is set, the time follows at once
  const auto since =
      std::chrono::steady_clock::now().time_since_epoch() - std::chrono::steady_clock::duration(at);
  return since >= allowance;
}

size_t CLogManagerThread::ProcessReports(const std::vector<RequestEntry>& entries,
                                         const platform::StopCheck& recording_stop,
                                         const platform::StopCheck& listing_stop) {
  size_t refused = 0;
  bool passed_over = false;  // a report without a contact, worked off as it is
  for (const RequestEntry& entry : entries) {
    const Taken outcome = TakeContactOf(entry.text);
    refused += outcome == Taken::kRefused;
    passed_over |= outcome != Taken::kContact;
  }
  TellRefused(refused);
  if (recording_stop && recording_stop()) return hand_off_.waiting();
  size_t recorded = 0;
  try {
    recorded = hand_off_.Try(BoundedAtStop(recording_stop));
  } catch (const std::exception& e) {
    WriteEventLog(EventPriority::kWarning, "Error in processing a request: %s", e.what());
  }
  if (passed_over || recorded > 0) RefreshList(listing_stop);
  return hand_off_.waiting();
}

// Once stopping, one run of the tool may take kStopToolRun at most, so a
// tool that hangs cannot hold the work-off until its end.
platform::StopCheck CLogManagerThread::BoundedAtStop(const platform::StopCheck& stop) const {
  const auto started = std::chrono::steady_clock::now();
  return [this, stop, started] {
    if (stop && stop()) return true;
    if (!PastStop(std::chrono::milliseconds(0))) return false;
    const auto stop_at = std::chrono::steady_clock::time_point(
        std::chrono::steady_clock::duration(stop_requested_at_.load()));
    return std::chrono::steady_clock::now() - std::max(started, stop_at) >= kStopToolRun;
  };
}

CLogManagerThread::Taken CLogManagerThread::TakeContactOf(const std::string& report) {
  try {
    // The three values are this report's own: a report that lacks one must
    // not pair its values with those of an earlier report.
    AgentContact c;
    if (ExtractContactInfo(report, c.user, c.computer, c.ip) != 3) return Taken::kNone;
    // A value the tool would refuse (a line break would also forge rows in
    // the IP log) is not handed to it, so a failed record is a failure.
    for (const std::string* value : {&c.user, &c.computer, &c.ip}) {
      if (!ContactValueProblem(*value).empty()) return Taken::kRefused;
    }
    hand_off_.Add(std::move(c));
    return Taken::kContact;
  } catch (const std::exception& e) {
    WriteEventLog(EventPriority::kWarning, "Error in processing a request: %s", e.what());
  }
  return Taken::kNone;
}

void CLogManagerThread::TellRefused(size_t refused) {
  if (refused > 0 && !refusing_) {
    WriteEventLog(
        "%zu agent %s not recorded: a value is empty, longer than %zu bytes, not UTF-8, or "
        "holds a comma, a control character or a line separator",
        refused, refused == 1 ? "report" : "reports", kMaxContactValueLength);
  }
  refusing_ = refused > 0;
}

void CLogManagerThread::RefreshList(const platform::StopCheck& stop) {
  std::string problem;
  try {
    IpLogRefresh outcome = RefreshIpLog(stop, &problem);
    if (outcome == IpLogRefresh::kReplaced) list_problem_.clear();
    if (outcome != IpLogRefresh::kKept) return;
  } catch (const std::exception& e) {
    problem = e.what();
  }
  // Once for a run of passes failing the same way, not once per pass.
  if (problem == list_problem_) return;
  list_problem_ = problem;
  WriteEventLog(EventPriority::kWarning, "The IP log was left as it was: %s", problem.c_str());
}
