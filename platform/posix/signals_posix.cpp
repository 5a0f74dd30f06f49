#include "platform/signals.h"

#include <pthread.h>
#include <signal.h>

namespace platform {
namespace {

// SIGUSR1 only ever wakes the waiter; it carries no request of its own.
constexpr int kWakeSignal = SIGUSR1;

sigset_t ControlSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, kWakeSignal);
  return set;
}

static_assert(sizeof(pthread_t) <= sizeof(uint64_t), "pthread_t must fit the stored id");

}  // namespace

void BlockControlSignals() {
  sigset_t set = ControlSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

SignalWaiter::SignalWaiter() : thread_(static_cast<uint64_t>(pthread_self())) {}

ControlSignal SignalWaiter::Wait() {
  sigset_t set = ControlSet();
  int sig = 0;
  // sigwait reports errors through its result, never through errno, and
  // is not interrupted by the signals it waits for.
  while (sigwait(&set, &sig) != 0) {
  }
  switch (sig) {
    case SIGTERM:
    case SIGINT:
      return ControlSignal::kStop;
    case SIGHUP:
      return ControlSignal::kHangUp;
    default:
      return ControlSignal::kWake;
  }
}

void SignalWaiter::Wake() { pthread_kill(static_cast<pthread_t>(thread_), kWakeSignal); }

bool SignalWaiter::OnWaiterThread() const {
  return pthread_equal(pthread_self(), static_cast<pthread_t>(thread_)) != 0;
}

}  // namespace platform
