#include "server/processing/log_manager_thread.h"

#include <exception>

#include "server/base/event_log.h"
#include "server/formats/extract_contact_info.h"
#include "server/processing/database_tool_calls.h"

namespace {

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

CLogManagerThread::CLogManagerThread(CRequestQueue& queue, platform::Clock&) : queue_(queue) {}

CLogManagerThread::~CLogManagerThread() { Stop(); }

uint32_t CLogManagerThread::Run(uint32_t) {
  do {
    if (!queue_.IsEmpty()) {
      try {
        RequestEntry entry = queue_.Pop();  // the arrival time is not used
        ProcessReport(entry.text, [this] { return StopRequested(); });
      } catch (...) {
        WriteEventLog("Error in processing a request");
      }
    }
  } while (SleepFor(kPassInterval));
  return 0;
}

void CLogManagerThread::ProcessReport(const std::string& report, const platform::StopCheck& stop) {
  try {
    // The three values are this report's own: a report that lacks one must
    // not pair its values with those of an earlier report.
    std::string user, computer, ip;
    int found = ExtractContactInfo(report, user, computer, ip);
    // A line break in a value would forge rows in the IP log.
    if (found == 3 && !HasLineBreak(user) && !HasLineBreak(computer) && !HasLineBreak(ip)) {
      RecordContactInfo(user, computer, ip, stop);
    }
    RefreshIpLog(stop);
  } catch (const std::exception& e) {
    WriteEventLog("Error in processing a request: %s", e.what());
  } catch (...) {
    WriteEventLog("Error in processing a request");
  }
}
