// NightSummary: what one night's import did, and the one or two event-log
// lines that say so. Filled by the import on the log importer's thread.
#ifndef SERVER_LOGIMPORT_NIGHT_SUMMARY_H_
#define SERVER_LOGIMPORT_NIGHT_SUMMARY_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "server/base/event_log.h"

struct NightSummary {
  struct LeftLog {
    std::string name;
    std::string reason;  // "held by another program", ...
  };

  bool database_opened = false;
  bool stopped = false;  // a stop request ended the night early
  std::string error;     // why the night failed; empty when it did not
  int days = 0;          // days with logs before today
  int logs_imported = 0;
  int64_t lines_imported = 0;     // lines that gave a row or a site total
  int64_t lines_dropped = 0;      // too long, no key, no user, unknown user
  int logs_already_imported = 0;  // found again (a crash, or put back): removed, not counted
  int64_t filter_rows = 0;
  std::vector<LeftLog> left;  // logs of earlier days that stay in Logs/
  bool ip_log_rebuilt = false;
  std::string ip_log_error;
  int64_t removed = 0;        // rows older than KeepDays days (their own line)
  std::string removal_error;  // why they could not be removed

  void Leave(const std::string& name, const std::string& reason) {
    left.push_back(LeftLog{name, reason});
  }
};

// The night's lines: the counts, and when logs were left, which (up to
// kNamedLeft of them, with control characters shown as "?") and why.
std::vector<std::string> NightSummaryLines(const NightSummary& summary);

inline constexpr size_t kNamedLeft = 3;

// kError for a night that failed, kWarning for one that left logs, was
// stopped, kept the IP log or old rows, kInfo for a night without problems.
EventPriority NightSummaryPriority(const NightSummary& summary);

// The night's figures into the metrics: it started at `start` (seconds
// since 1970) and at `started` on the steady clock.
void PublishNightMetrics(const NightSummary& summary, int64_t start,
                         std::chrono::steady_clock::time_point started);

#endif  // SERVER_LOGIMPORT_NIGHT_SUMMARY_H_
