#include "server/base/server_metrics.h"

#include <ctime>
#include <mutex>

#include "common/report_table.h"
#include "server/base/metrics.h"

namespace server_metrics {
namespace {

MetricsRegistry& R() { return ProcessMetrics(); }

std::string Label(const char* name, const std::string& value) {
  return std::string(name) + "=\"" + value + "\"";
}

// "daily activity" as a label value: daily_activity.
std::string Word(const char* text) {
  std::string word;
  for (const char* p = text; *p; ++p) {
    const char c = *p;
    const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    word += plain ? c : (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : '_';
  }
  return word;
}

MetricCounter& Accepted() {
  static MetricCounter& c = R().Counter("quorvane_connections_accepted_total",
                                        "Agent connections accepted on the agents' port.");
  return c;
}
MetricCounter& Refused(const char* reason) {
  return R().Counter("quorvane_connections_refused_total",
                     "Agent connections refused or closed unread, by reason.",
                     Label("reason", reason));
}
MetricGauge& Listening() {
  static MetricGauge& g =
      R().Gauge("quorvane_agent_port_listening", "1 while the agents' port is listened on.");
  return g;
}
MetricCounter& Queued() {
  static MetricCounter& c =
      R().Counter("quorvane_reports_queued_total", "Agent reports queued for the IP log.");
  return c;
}
MetricCounter& Dropped(const char* reason) {
  return R().Counter("quorvane_reports_dropped_total",
                     "Agent reports refused at arrival or dropped from the queue, by reason.",
                     Label("reason", reason));
}
MetricGauge& QueueDepth() {
  static MetricGauge& g = R().Gauge("quorvane_queue_depth", "Agent reports waiting in the queue.");
  return g;
}
MetricHistogram& ArrivalToIpLog() {
  static MetricHistogram& h =
      R().Histogram("quorvane_report_to_ip_log_seconds",
                    "Time from an agent report's arrival to the IP log that lists it.",
                    {1, 2, 5, 10, 30, 60, 120, 300, 600, 1800});
  return h;
}
MetricGauge& IpLogRows() {
  static MetricGauge& g = R().Gauge("quorvane_ip_log_rows", "Rows of the IP log last written.");
  return g;
}
MetricGauge& IpLogAt() {
  static MetricGauge& g = R().Gauge("quorvane_ip_log_refresh_timestamp_seconds",
                                    "When the IP log was last written (0: not since start).");
  return g;
}
MetricGauge& IpLogKeptGauge() {
  static MetricGauge& g = R().Gauge(
      "quorvane_ip_log_stale",
      "1 when the last refresh of the IP log failed and the files were left as they were.");
  return g;
}
MetricCounter& IpLogKeptCount() {
  static MetricCounter& c =
      R().Counter("quorvane_ip_log_refresh_failures_total",
                  "Refreshes of the IP log that left the files as they were.");
  return c;
}
MetricCounter& Sent(const std::string& kind) {
  return R().Counter("quorvane_reports_sent_total", "E-mail reports sent, by kind.",
                     Label("kind", kind));
}
MetricCounter& NotSent(const std::string& kind) {
  return R().Counter("quorvane_reports_failed_total", "E-mail reports not sent, by kind.",
                     Label("kind", kind));
}
MetricGauge& LastSent() {
  static MetricGauge& g = R().Gauge("quorvane_report_last_sent_timestamp_seconds",
                                    "When the last e-mail report was sent (0: not since start).");
  return g;
}
MetricGauge& LastNotSent() {
  static MetricGauge& g = R().Gauge("quorvane_report_last_failure_timestamp_seconds",
                                    "When the last e-mail report failed (0: none since start).");
  return g;
}

double Sum(const std::string& name) {
  double total = 0;
  for (const auto& family : R().Snapshot()) {
    if (family.name != name) continue;
    for (const auto& s : family.series) total += s.value;
  }
  return total;
}

enum NightValue {
  kStart,
  kSeconds,
  kLogs,
  kLines,
  kDropped,
  kLeft,
  kFailed,
  kSuccess,
  kNightValues
};

MetricGauge& Night(NightValue v) {
  static constexpr const char* kNames[kNightValues][2] = {
      {"quorvane_night_start_timestamp_seconds", "When the last night's import started."},
      {"quorvane_night_duration_seconds", "How long the last night's import took."},
      {"quorvane_night_logs", "Logs the last night imported."},
      {"quorvane_night_lines", "Lines the last night imported."},
      {"quorvane_night_dropped_lines", "Lines the last night dropped."},
      {"quorvane_night_logs_left", "Logs the last night left in Logs/."},
      {"quorvane_night_failed", "1 when the last night's import failed."},
      {"quorvane_night_last_success_timestamp_seconds",
       "When the last night that imported without failing started (0: none since start)."},
  };
  return R().Gauge(kNames[v][0], kNames[v][1]);
}

}  // namespace

void ConnectionAccepted() { Accepted().Add(); }
void ConnectionRefused(const char* reason) { Refused(reason).Add(); }
void SetListening(bool listening) { Listening().Set(listening ? 1 : 0); }

void ReportQueued() { Queued().Add(); }
void ReportDropped(const char* reason) { Dropped(reason).Add(); }
void SetQueueDepth(size_t depth) { QueueDepth().Set(static_cast<double>(depth)); }

namespace {
std::mutex g_pending_mu;
std::vector<int64_t> g_pending;  // guarded by g_pending_mu
}  // namespace

void ReportTaken(int64_t arrival) {
  std::lock_guard<std::mutex> lock(g_pending_mu);
  if (g_pending.size() < kMaxPending) g_pending.push_back(arrival);
}

void ToolRun(const std::vector<std::string>& argv, const char* outcome, double seconds) {
  std::string tool = argv.empty() ? "" : argv[0];
  const size_t slash = tool.rfind('/');
  if (slash != std::string::npos) tool.erase(0, slash + 1);
  if (tool.size() > 4 && tool.compare(tool.size() - 4, 4, ".exe") == 0)
    tool.resize(tool.size() - 4);
  tool = Word(tool.c_str());
  // Only a short number names a mode; a user name must never become a label.
  std::string mode = "none";
  if (argv.size() > 1 && !argv[1].empty() && argv[1].size() <= 2 &&
      argv[1].find_first_not_of("0123456789") == std::string::npos)
    mode = argv[1];
  if (argv.size() > 1 && argv[1] == "record") mode = "record";
  if (tool == "notivo") mode = "send";
  const std::string labels = Label("tool", tool) + "," + Label("mode", mode);
  R().Counter("quorvane_tool_runs_total", "Runs of ledgerix and Notivo, by tool, mode and outcome.",
              labels + "," + Label("outcome", outcome))
      .Add();
  R().Histogram("quorvane_tool_run_duration_seconds", "Wall time of a tool run.",
                {0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30, 120}, labels)
      .Observe(seconds);
}

void IpLogReplaced(size_t rows, int64_t now) {
  std::vector<int64_t> arrivals;
  {
    std::lock_guard<std::mutex> lock(g_pending_mu);
    arrivals.swap(g_pending);
  }
  // A clock set back gives no negative time.
  for (int64_t arrival : arrivals)
    ArrivalToIpLog().Observe(double(now > arrival ? now - arrival : 0));
  IpLogRows().Set(static_cast<double>(rows));
  IpLogAt().Set(static_cast<double>(now));
  IpLogKeptGauge().Set(0);
}

void IpLogKept() {
  IpLogKeptCount().Add();
  IpLogKeptGauge().Set(1);
}

void NightDone(const NightFigures& night) {
  Night(kStart).Set(double(night.start));
  Night(kSeconds).Set(night.seconds);
  Night(kLogs).Set(double(night.logs));
  Night(kLines).Set(double(night.lines));
  Night(kDropped).Set(double(night.dropped_lines));
  Night(kLeft).Set(double(night.logs_left));
  Night(kFailed).Set(night.succeeded ? 0 : 1);
  if (night.succeeded) Night(kSuccess).Set(double(night.start));
}

void ReportSent(const char* name, int64_t now) {
  Sent(Word(name)).Add();
  LastSent().Set(static_cast<double>(now));
}

void ReportNotSent(const char* name) {
  NotSent(Word(name)).Add();
  LastNotSent().Set(static_cast<double>(std::time(nullptr)));
}

StatusFigures ReadStatusFigures() {
  StatusFigures s;
  s.listening = Listening().Value() != 0;
  s.ip_log_rows = IpLogRows().Value();
  s.ip_log_at = static_cast<int64_t>(IpLogAt().Value());
  s.ip_log_kept = IpLogKeptGauge().Value() != 0;
  s.reports_queued = Queued().Value();
  s.night_start = static_cast<int64_t>(Night(kStart).Value());
  s.night_seconds = Night(kSeconds).Value();
  s.night_logs = static_cast<int64_t>(Night(kLogs).Value());
  s.night_logs_left = static_cast<int64_t>(Night(kLeft).Value());
  s.night_succeeded = Night(kFailed).Value() == 0;
  s.reports_sent = static_cast<uint64_t>(Sum("quorvane_reports_sent_total"));
  s.reports_not_sent = static_cast<uint64_t>(Sum("quorvane_reports_failed_total"));
  s.last_sent_at = static_cast<int64_t>(LastSent().Value());
  s.last_not_sent_at = static_cast<int64_t>(LastNotSent().Value());
  return s;
}

void Publish(const std::string& version, int64_t started_at) {
  R().Gauge("quorvane_build_info", "The server's version; always 1.", Label("version", version))
      .Set(1);
  R().Gauge("process_start_time_seconds", "When the server started, seconds since 1970.")
      .Set(static_cast<double>(started_at));
  // Every series a rule may read is there from the start, at 0, so that a
  // rate or an age has something to work on before the first event.
  Accepted();
  for (const char* reason : {"agent_networks", "per_address", "room"}) Refused(reason);
  Queued();
  for (const char* reason :
       {"no_contact", "other_address", "unreadable", "incomplete", "duplicate", "queue_full"})
    Dropped(reason);
  Listening();
  QueueDepth();
  ArrivalToIpLog();
  IpLogRows();
  IpLogAt();
  IpLogKeptGauge();
  IpLogKeptCount();
  for (int v = 0; v < kNightValues; ++v) Night(static_cast<NightValue>(v));
  for (const ReportEntry& report : ReportTable()) {
    Sent(Word(report.name));
    NotSent(Word(report.name));
  }
  LastSent();
  LastNotSent();
}

}  // namespace server_metrics
