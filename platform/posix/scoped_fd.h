// ScopedFd: owns one file descriptor and closes it when it goes. Movable,
// not copyable; an object is used by one thread at a time.
#ifndef PLATFORM_POSIX_SCOPED_FD_H_
#define PLATFORM_POSIX_SCOPED_FD_H_

namespace platform {

class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ScopedFd(ScopedFd&& other) noexcept : fd_(other.Release()) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept;
  ~ScopedFd() { Reset(); }

  int get() const { return fd_; }
  bool is_valid() const { return fd_ >= 0; }

  // Closes the descriptor held (if any) and holds `fd` instead.
  void Reset(int fd = -1);
  // Closes the descriptor held and says whether close(2) succeeded (true
  // when none was held): a write's last error may show only there.
  bool Close();
  // Gives the descriptor up without closing it.
  int Release();

 private:
  int fd_ = -1;
};

}  // namespace platform

#endif  // PLATFORM_POSIX_SCOPED_FD_H_
