// CMonitorThread: the worker that lets others see the server. At start it
// puts the fixed series into the metrics and, when MetricsAddress is set,
// serves them at /metrics (read once, at start); then, every
// kStatusInterval, it sends systemd the status line when it has changed.
#ifndef SERVER_MONITORING_MONITOR_THREAD_H_
#define SERVER_MONITORING_MONITOR_THREAD_H_

#include <chrono>
#include <string>

#include "platform/clock.h"
#include "server/base/cthread.h"
#include "server/monitoring/metrics_endpoint.h"

class CMonitorThread final : public CThread {
 public:
  static constexpr std::chrono::milliseconds kStatusInterval{1000};

  explicit CMonitorThread(platform::Clock& clock = platform::SystemClock());
  ~CMonitorThread() override;

  uint32_t Run(uint32_t arg) override;

 private:
  void StartEndpoint();
  void SendStatus();

  platform::Clock& clock_;
  MetricsEndpoint endpoint_;
  std::string last_status_;
  int today_ = -1;  // the local day of the year the count below belongs to
  uint64_t queued_before_today_ = 0;
};

#endif  // SERVER_MONITORING_MONITOR_THREAD_H_
