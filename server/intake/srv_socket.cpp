#include "server/intake/srv_socket.h"

CSrvSocket::CSrvSocket(platform::Clock& clock) : clock_(clock) {}

CSrvSocket::~CSrvSocket() { Stop(); }

// Filled by the agent-reports work; until then it only waits for a stop.
uint32_t CSrvSocket::Run(uint32_t) {
  while (SleepFor(std::chrono::milliseconds(1000))) {
  }
  return 0;
}
