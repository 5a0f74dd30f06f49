// A local TCP client for the tests and benchmarks of the server's listener.
// Header only: the product never connects to itself.
#ifndef PLATFORM_LOCAL_CLIENT_FOR_TESTING_H_
#define PLATFORM_LOCAL_CLIENT_FOR_TESTING_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string_view>

#include "platform/posix/eintr.h"
#include "platform/posix/scoped_fd.h"

namespace platform {

// Opens a connection to 127.0.0.1:`port` and leaves it silent; its
// descriptor, or -1. The caller closes it with CloseConnection.
inline int OpenSilentConnection(uint16_t port) {
  ScopedFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.is_valid()) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (HANDLE_EINTR(connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr)) != 0) {
    return -1;
  }
  return fd.Release();
}

inline void CloseConnection(int fd) { ScopedFd(fd).Reset(); }

// Connects to 127.0.0.1:`port`, sends `data` (nothing when empty) and waits
// until the server closes the connection. False when the connection failed.
inline bool SendToLocalPort(uint16_t port, std::string_view data) {
  ScopedFd fd(OpenSilentConnection(port));
  if (!fd.is_valid()) return false;
  while (!data.empty()) {
    ssize_t n = HANDLE_EINTR(send(fd.get(), data.data(), data.size(), MSG_NOSIGNAL));
    if (n <= 0) break;
    data.remove_prefix(size_t(n));
  }
  shutdown(fd.get(), SHUT_WR);  // the report is complete: the server need not wait
  char sink[4096];
  while (HANDLE_EINTR(recv(fd.get(), sink, sizeof sink, 0)) > 0) {
  }
  return true;
}

}  // namespace platform

#endif  // PLATFORM_LOCAL_CLIENT_FOR_TESTING_H_
