// ChildProcess: one started program, waited for by the thread that started
// it. A program still running when the object goes is killed and reaped, so
// none outlives its caller and none is left a zombie.
#ifndef PLATFORM_POSIX_CHILD_PROCESS_H_
#define PLATFORM_POSIX_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>

#include "platform/posix/scoped_fd.h"

namespace platform {

// How long one wait lasts when there is no pidfd to wake it.
inline constexpr int kPollWithoutEndFdMs = 10;

class ChildProcess {
 public:
  explicit ChildProcess(pid_t pid);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // True once the program has ended and been reaped; never blocks.
  bool HasEnded();
  // A descriptor that becomes readable when the program ends, or -1 where
  // the system offers none (then the caller polls HasEnded).
  int end_fd() const { return end_fd_.get(); }
  // Asks the program to end (SIGTERM), kills it (SIGKILL) when it has not
  // ended within `grace`, and reaps it.
  void Terminate(std::chrono::milliseconds grace);
  // The wait status once ended; -1 when the wait itself failed.
  int status() const { return status_; }

 private:
  // Waits up to `timeout_ms` for the end (or a little while without end_fd).
  void AwaitEnd(int timeout_ms);

  pid_t pid_;
  ScopedFd end_fd_;  // a pidfd
  bool ended_ = false;
  int status_ = -1;
};

}  // namespace platform

#endif  // PLATFORM_POSIX_CHILD_PROCESS_H_
