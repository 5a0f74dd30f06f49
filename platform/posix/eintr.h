// Retries a system call that a signal interrupted (EINTR), in one place.
#ifndef PLATFORM_POSIX_EINTR_H_
#define PLATFORM_POSIX_EINTR_H_

#include <cerrno>

#define HANDLE_EINTR(x)                              \
  ({                                                 \
    decltype(x) eintr_result_;                       \
    do {                                             \
      eintr_result_ = (x);                           \
    } while (eintr_result_ == -1 && errno == EINTR); \
    eintr_result_;                                   \
  })

#endif  // PLATFORM_POSIX_EINTR_H_
