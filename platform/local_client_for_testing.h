// A local TCP client for the tests and benchmarks of the server's listener.
// Header only: the product never connects to itself.
#ifndef PLATFORM_LOCAL_CLIENT_FOR_TESTING_H_
#define PLATFORM_LOCAL_CLIENT_FOR_TESTING_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/posix/eintr.h"
#include "platform/posix/scoped_fd.h"

namespace platform {

// Opens a connection to 127.0.0.1:`port` (from the local address `from`,
// host byte order, when given) and leaves it silent; its descriptor, or -1.
// The caller closes it with CloseConnection.
inline int OpenSilentConnection(uint16_t port, std::optional<uint32_t> from = std::nullopt) {
  ScopedFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.is_valid()) return -1;
  sockaddr_in addr{};
  if (from) {
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(*from);
    if (bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return -1;
  }
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (HANDLE_EINTR(connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr)) != 0) {
    return -1;
  }
  return fd.Release();
}

inline void CloseConnection(int fd) { ScopedFd(fd).Reset(); }

// Connects to 127.0.0.1:`port` (from `from`, when given), sends `data`
// (nothing when empty), ends its side unless `data` holds a line feed or a
// zero byte, and waits until the server closes the connection. False when
// the connection failed.
inline bool SendToLocalPort(uint16_t port, std::string_view data,
                            std::optional<uint32_t> from = std::nullopt) {
  ScopedFd fd(OpenSilentConnection(port, from));
  if (!fd.is_valid()) return false;
  bool ends_itself = data.find_first_of(std::string_view("\n\0", 2)) != std::string_view::npos;
  while (!data.empty()) {
    ssize_t n = HANDLE_EINTR(send(fd.get(), data.data(), data.size(), MSG_NOSIGNAL));
    if (n <= 0) break;
    data.remove_prefix(size_t(n));
  }
  // A report that ends itself needs no end of input, and without one the
  // server closes first: no port of this side waits in TIME_WAIT (where it
  // would keep other servers on this machine from binding that port).
  if (!ends_itself) shutdown(fd.get(), SHUT_WR);
  char sink[4096];
  while (HANDLE_EINTR(recv(fd.get(), sink, sizeof sink, 0)) > 0) {
  }
  return true;
}

}  // namespace platform

#endif  // PLATFORM_LOCAL_CLIENT_FOR_TESTING_H_
