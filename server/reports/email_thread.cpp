#include "server/reports/email_thread.h"

EmailThread::EmailThread(platform::Clock& clock) : clock_(clock) {}

EmailThread::~EmailThread() { Stop(); }

// Filled by the e-mail reports work; until then it only waits for a stop.
uint32_t EmailThread::Run(uint32_t) {
  while (SleepFor(std::chrono::milliseconds(3000))) {
  }
  return 0;
}
