// CSrvSocket: the TCP listener. Takes one report per connection and puts it
// on the request queue, which it owns.
#ifndef SERVER_INTAKE_SRV_SOCKET_H_
#define SERVER_INTAKE_SRV_SOCKET_H_

#include "platform/clock.h"
#include "server/core/cthread.h"
#include "server/intake/request_queue.h"

class CSrvSocket final : public CThread {
 public:
  explicit CSrvSocket(platform::Clock& clock = platform::SystemClock());
  ~CSrvSocket() override;

  uint32_t Run(uint32_t arg) override;
  CRequestQueue& queue() { return queue_; }

 private:
  platform::Clock& clock_;
  CRequestQueue queue_;
};

#endif  // SERVER_INTAKE_SRV_SOCKET_H_
