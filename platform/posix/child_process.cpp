#include "platform/posix/child_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "platform/posix/eintr.h"

namespace platform {

namespace {

// A pidfd (readable once the process ends), or -1 where the kernel has none.
// Called through syscall(2): not every C library wraps it.
int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

}  // namespace

ChildProcess::ChildProcess(pid_t pid) : pid_(pid), end_fd_(OpenPidFd(pid)) {}

ChildProcess::~ChildProcess() {
  if (HasEnded()) return;
  kill(pid_, SIGKILL);
  while (!ended_) AwaitEnd(-1);
}

bool ChildProcess::HasEnded() {
  if (ended_) return true;
  int status = 0;
  pid_t result = HANDLE_EINTR(waitpid(pid_, &status, WNOHANG));
  if (result == 0) return false;
  // A failed wait (ECHILD: someone else reaped it) also means it is gone.
  status_ = result == pid_ ? status : -1;
  ended_ = true;
  end_fd_.Reset();
  return true;
}

void ChildProcess::AwaitEnd(int timeout_ms) {
  if (end_fd_.is_valid()) {
    pollfd fd = {end_fd_.get(), POLLIN, 0};
    poll(&fd, 1, timeout_ms);  // an interruption only means looking again
  } else {
    poll(nullptr, 0,
         timeout_ms < 0 ? kPollWithoutEndFdMs : std::min(timeout_ms, kPollWithoutEndFdMs));
  }
  HasEnded();
}

void ChildProcess::Terminate(std::chrono::milliseconds grace) {
  if (HasEnded()) return;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (!ended_) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    AwaitEnd(static_cast<int>(left.count()));
  }
  if (ended_) return;
  kill(pid_, SIGKILL);
  while (!ended_) AwaitEnd(-1);
}

}  // namespace platform
