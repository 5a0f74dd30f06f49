// CLogManagerThread: the request worker. Takes one report per pass off the
// request queue (it is the queue's only consumer), hands its contact to the
// database tool and refreshes the IP log, then pauses 100 ms. Reports the
// listener refuses on arrival (see CArrivalCheck) never reach it. A failure
// in one report's processing is reported and the worker goes on. Construction,
// Start and Stop belong to the owning thread; the rest runs on the worker's
// own thread.
#ifndef SERVER_PROCESSING_LOG_MANAGER_THREAD_H_
#define SERVER_PROCESSING_LOG_MANAGER_THREAD_H_

#include <chrono>
#include <string>

#include "platform/clock.h"
#include "platform/process.h"
#include "server/base/cthread.h"
#include "server/intake/request_queue.h"

class CLogManagerThread final : public CThread {
 public:
  static constexpr std::chrono::milliseconds kPassInterval{100};

  explicit CLogManagerThread(CRequestQueue& queue,
                             platform::Clock& clock = platform::SystemClock());
  ~CLogManagerThread() override;

  uint32_t Run(uint32_t arg) override;

  // Processes one report: extraction, the mode-6 call when the report
  // carries a usable contact, then the IP-log refresh; `stop` ends a
  // running tool and starts no further one. Never throws.
  static void ProcessReport(const std::string& report, const platform::StopCheck& stop = {});

 private:
  CRequestQueue& queue_;
};

#endif  // SERVER_PROCESSING_LOG_MANAGER_THREAD_H_
