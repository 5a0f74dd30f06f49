#include "platform/posix/scoped_fd.h"

#include <unistd.h>

namespace platform {

ScopedFd& ScopedFd::operator=(ScopedFd&& other) noexcept {
  if (this != &other) Reset(other.Release());
  return *this;
}

void ScopedFd::Reset(int fd) {
  Close();
  fd_ = fd;
}

bool ScopedFd::Close() {
  if (fd_ < 0) return true;
  // Not retried on EINTR: Linux releases the descriptor even then, and a
  // retry could close one that another thread has just been given.
  bool closed = close(fd_) == 0;
  fd_ = -1;
  return closed;
}

int ScopedFd::Release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

}  // namespace platform
