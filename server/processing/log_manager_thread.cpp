#include "server/processing/log_manager_thread.h"

CLogManagerThread::CLogManagerThread(CRequestQueue& queue) : queue_(queue) {}

CLogManagerThread::~CLogManagerThread() { Stop(); }

// Filled by the agent-reports work; until then it only waits for a stop.
uint32_t CLogManagerThread::Run(uint32_t) {
  while (SleepFor(std::chrono::milliseconds(100))) {
  }
  return 0;
}
