#include "server/processing/log_manager_thread.h"

#include <algorithm>
#include <exception>

#include "server/base/event_log.h"
#include "server/base/refresh_ip_log.h"
#include "server/formats/extract_contact_info.h"
#include "server/processing/database_tool_calls.h"

namespace {

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

CLogManagerThread::CLogManagerThread(CRequestQueue& queue, platform::Clock&) : queue_(queue) {}

CLogManagerThread::~CLogManagerThread() { Stop(); }

uint32_t CLogManagerThread::Run(uint32_t) {
  const platform::StopCheck recording_stop = [this] { return PastStop(kStopRecording); };
  const platform::StopCheck listing_stop = [this] { return PastStop(kStopListing); };
  size_t left = 0;  // taken but not worked off: only ever after a stop request
  do {
    left += ProcessReports(queue_.PopUpTo(kMaxReportsPerPass), recording_stop, listing_stop);
  } while (SleepFor(kPassInterval));
  // What waits at a stop was sent by agents that will not send it again
  // soon: passes without the pause, while the stop allows.
  while (!recording_stop()) {
    std::vector<RequestEntry> entries = queue_.PopUpTo(kMaxReportsPerPass);
    if (entries.empty()) break;
    left += ProcessReports(entries, recording_stop, listing_stop);
  }
  left += queue_.size();
  if (left > 0)
    WriteEventLog(EventPriority::kWarning, "Stopped with %zu agent %s not processed", left,
                  left == 1 ? "report" : "reports");
  return 0;
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
  size_t done = 0;
  bool worked_off = false;  // some report went all the way through
  for (; done < entries.size(); ++done) {
    if (recording_stop && recording_stop()) break;
    try {
      if (!RecordContactOf(entries[done].text, BoundedAtStop(recording_stop))) break;
      worked_off = true;
    } catch (...) {
      WriteEventLog(EventPriority::kWarning, "Error in processing a request");
    }
  }
  if (worked_off) RefreshList(listing_stop);
  return entries.size() - done;
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

bool CLogManagerThread::RecordContactOf(const std::string& report,
                                        const platform::StopCheck& stop) {
  try {
    // The three values are this report's own: a report that lacks one must
    // not pair its values with those of an earlier report.
    std::string user, computer, ip;
    int found = ExtractContactInfo(report, user, computer, ip);
    // A line break in a value would forge rows in the IP log.
    if (found == 3 && !HasLineBreak(user) && !HasLineBreak(computer) && !HasLineBreak(ip)) {
      return RecordContactInfo(user, computer, ip, stop);
    }
  } catch (const std::exception& e) {
    WriteEventLog(EventPriority::kWarning, "Error in processing a request: %s", e.what());
  } catch (...) {
    WriteEventLog(EventPriority::kWarning, "Error in processing a request");
  }
  return true;
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
