// The server's metrics: one call per event, made where the event happens,
// each updating the process registry (metrics.h) under the names that
// monitoring reads (quorvane_..._total, ..._seconds, base units). Reasons,
// kinds, modes and outcomes are fixed words; nothing a peer sent ever
// becomes a label. Any thread.
#ifndef SERVER_BASE_SERVER_METRICS_H_
#define SERVER_BASE_SERVER_METRICS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace server_metrics {

// The agents' port.
void ConnectionAccepted();
void ConnectionRefused(const char* reason);  // "agent_networks", "per_address", "room"
void SetListening(bool listening);

// Reports, from arrival to the IP log.
void ReportQueued();
// "no_contact", "other_address", "unreadable", "incomplete", "duplicate", "queue_full"
void ReportDropped(const char* reason);
void SetQueueDepth(size_t depth);
// A report that arrived at `arrival` was taken from the queue; the next IP
// log written counts the time from its arrival (at most kMaxPending wait).
void ReportTaken(int64_t arrival);
inline constexpr size_t kMaxPending = 100000;

// A run of ledgerix or Notivo: `argv` as run (only the program's name and
// a numeric mode become labels), the outcome and its wall time.
void ToolRun(const std::vector<std::string>& argv, const char* outcome, double seconds);

// The IP log: replaced with `rows` rows at `now`, or left as it was.
void IpLogReplaced(size_t rows, int64_t now);
void IpLogKept();

struct NightFigures {
  int64_t start = 0;  // seconds since 1970
  double seconds = 0;
  int64_t logs = 0;
  int64_t lines = 0;
  int64_t dropped_lines = 0;
  int64_t logs_left = 0;
  bool succeeded = false;  // the database opened and nothing failed
};
void NightDone(const NightFigures& night);

// A report (its name, "daily activity") sent or not sent at `now`.
void ReportSent(const char* name, int64_t now);
void ReportNotSent(const char* name);

// What the status line tells, read back from the registry.
struct StatusFigures {
  bool listening = false;
  double ip_log_rows = 0;
  int64_t ip_log_at = 0;  // 0: not written since start
  bool ip_log_kept = false;
  uint64_t reports_queued = 0;  // since start
  int64_t night_start = 0;      // 0: no night since start
  double night_seconds = 0;
  int64_t night_logs = 0;
  int64_t night_logs_left = 0;
  bool night_succeeded = true;
  uint64_t reports_sent = 0;  // since start
  uint64_t reports_not_sent = 0;
  int64_t last_sent_at = 0;
  int64_t last_not_sent_at = 0;  // the time of the last failure's notice
};
StatusFigures ReadStatusFigures();

// quorvane_build_info{version="..."} 1, the start time, and every fixed
// series at 0. Once, at start.
void Publish(const std::string& version, int64_t started_at);

}  // namespace server_metrics

#endif  // SERVER_BASE_SERVER_METRICS_H_
