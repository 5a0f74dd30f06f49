#include "server/logimport/logg_thread.h"

CLoggThread::CLoggThread(platform::Clock& clock) : clock_(clock) {}

CLoggThread::~CLoggThread() { Stop(); }

// Filled by the nightly-import work; until then it only waits for a stop.
uint32_t CLoggThread::Run(uint32_t) {
  while (SleepFor(std::chrono::milliseconds(3000))) {
  }
  return 0;
}
