// EmailThread: the report scheduler. In the configured hour it has the
// database tool write each enabled report and sends it with Notivo.
#ifndef SERVER_REPORTS_EMAIL_THREAD_H_
#define SERVER_REPORTS_EMAIL_THREAD_H_

#include "platform/clock.h"
#include "server/core/cthread.h"

class EmailThread final : public CThread {
 public:
  explicit EmailThread(platform::Clock& clock = platform::SystemClock());
  ~EmailThread() override;

  uint32_t Run(uint32_t arg) override;

 private:
  platform::Clock& clock_;
};

#endif  // SERVER_REPORTS_EMAIL_THREAD_H_
