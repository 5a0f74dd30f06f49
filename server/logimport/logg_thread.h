// CLoggThread: the log importer. At local midnight it moves the previous
// day's logs into the activity database.
#ifndef SERVER_LOGIMPORT_LOGG_THREAD_H_
#define SERVER_LOGIMPORT_LOGG_THREAD_H_

#include <atomic>

#include "platform/clock.h"
#include "server/core/cthread.h"

class CLoggThread final : public CThread {
 public:
  explicit CLoggThread(platform::Clock& clock = platform::SystemClock());
  ~CLoggThread() override;

  uint32_t Run(uint32_t arg) override;
  // Called by the server object just before it starts this worker.
  void ClearImportedFlag() { imported_ = 0; }

 private:
  platform::Clock& clock_;
  std::atomic<int> imported_{0};
};

#endif  // SERVER_LOGIMPORT_LOGG_THREAD_H_
