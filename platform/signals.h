// Control requests as signals, taken synchronously on one thread.
//
// BlockControlSignals runs in main before any thread exists, so every
// thread inherits the block and no handler ever runs asynchronously. The
// thread that built a SignalWaiter then takes the signals one at a time with
// Wait; any thread may Wake it. SIGPIPE is ignored process-wide.
#ifndef PLATFORM_SIGNALS_H_
#define PLATFORM_SIGNALS_H_

#include <cstdint>

namespace platform {

enum class ControlSignal {
  kStop,    // SIGTERM or SIGINT
  kHangUp,  // SIGHUP
  kWake,    // a Wake call (or a stray wake signal): look at your state again
};

// Blocks SIGTERM, SIGINT, SIGHUP and the wake signal in the calling thread
// and ignores SIGPIPE. Call once at the top of main.
void BlockControlSignals();

// Owned by the thread that takes the signals (the main thread); must outlive
// every Wake call. Wait is for that thread only; Wake for any thread.
class SignalWaiter {
 public:
  SignalWaiter();
  SignalWaiter(const SignalWaiter&) = delete;
  SignalWaiter& operator=(const SignalWaiter&) = delete;

  // Blocks until one of the control signals is pending and takes it.
  ControlSignal Wait();
  // Makes the pending or next Wait return kWake.
  void Wake();
  // True on the thread that built the waiter.
  bool OnWaiterThread() const;

 private:
  uint64_t thread_;  // the waiting thread's pthread_t
};

}  // namespace platform

#endif  // PLATFORM_SIGNALS_H_
