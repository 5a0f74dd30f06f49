#include "server/monitoring/monitor_thread.h"

#include <ctime>

#include "common/ipv4_address.h"
#include "common/program_version.h"
#include "common/reg_value.h"
#include "platform/service_manager.h"
#include "server/base/event_log.h"
#include "server/base/server_metrics.h"
#include "server/monitoring/status_line.h"

CMonitorThread::CMonitorThread(platform::Clock& clock) : clock_(clock) {
  server_metrics::Publish(std::string(ProductVersion()), clock_.Now());
}

CMonitorThread::~CMonitorThread() { Stop(); }

uint32_t CMonitorThread::Run(uint32_t) {
  StartEndpoint();
  do {
    SendStatus();
  } while (SleepFor(kStatusInterval));
  endpoint_.Stop();
  return 0;
}

void CMonitorThread::StartEndpoint() {
  const std::string text = CRegTextValue(setting::kMetricsAddress).Read();
  if (text.empty()) return;
  std::optional<Ipv4Endpoint> endpoint = ParseIpv4Endpoint(text);
  std::string error = "not an IPv4 address and port such as 127.0.0.1:9464";
  if (endpoint && endpoint_.Start(*endpoint, &error)) {
    WriteEventLog("Metrics served at http://%s/metrics", text.c_str());
    return;
  }
  WriteEventLog(EventPriority::kError,
                "The metrics are off: cannot listen on MetricsAddress \"%s\": %s", text.c_str(),
                error.c_str());
}

void CMonitorThread::SendStatus() {
  const server_metrics::StatusFigures figures = server_metrics::ReadStatusFigures();
  std::tm local{};
  const int day = platform::ToLocalTime(clock_.Now(), &local) ? local.tm_yday : today_;
  // A new day, or the first look: what was queued before now belongs to
  // the days before.
  if (day != today_) {
    today_ = day;
    queued_before_today_ = figures.reports_queued;
  }
  const std::string status = StatusLine(figures, figures.reports_queued - queued_before_today_);
  if (status == last_status_) return;
  last_status_ = status;
  platform::NotifyServiceManager("STATUS=" + status);
}
