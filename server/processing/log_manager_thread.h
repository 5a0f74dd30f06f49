// CLogManagerThread: the request worker. Takes one report per pass off the
// request queue, hands its contact to the database tool and refreshes the
// IP log.
#ifndef SERVER_PROCESSING_LOG_MANAGER_THREAD_H_
#define SERVER_PROCESSING_LOG_MANAGER_THREAD_H_

#include "server/core/cthread.h"
#include "server/intake/request_queue.h"

class CLogManagerThread final : public CThread {
 public:
  explicit CLogManagerThread(CRequestQueue& queue);
  ~CLogManagerThread() override;

  uint32_t Run(uint32_t arg) override;

 private:
  CRequestQueue& queue_;
};

#endif  // SERVER_PROCESSING_LOG_MANAGER_THREAD_H_
