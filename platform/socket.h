// TCP listening for the server's one network endpoint.
//
// A TcpListener owns its listening socket and a wake-up descriptor. Listen,
// Accept and Receive are called from the one serving thread; Wake may be
// called from any thread and makes every later wait return at once. Every
// descriptor is close-on-exec, so spawned programs never inherit them.
#ifndef PLATFORM_SOCKET_H_
#define PLATFORM_SOCKET_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/posix/scoped_fd.h"

namespace platform {

// One accepted connection; closed when the object goes.
class TcpConnection {
 public:
  TcpConnection() = default;
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  bool is_open() const { return fd_.is_valid(); }
  void Reset(int fd) { fd_.Reset(fd); }
  void Close() { fd_.Reset(); }
  int fd() const { return fd_.get(); }

 private:
  ScopedFd fd_;
};

class TcpListener {
 public:
  enum class AcceptResult {
    kAccepted,
    kRetry,            // a passing failure (peer gone, signal): try again
    kRetryAfterPause,  // out of descriptors or memory: pause, then try again
    kWoken,            // Wake was called
    kBroken,           // the listening socket itself failed
  };

  TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // Binds 0.0.0.0:`port` (0: any free port) with SO_REUSEADDR and listens.
  bool Listen(uint16_t port, int backlog, std::string* error);
  // The same on one local IPv4 address (host byte order; 0 is every one).
  bool ListenOn(uint32_t address, uint16_t port, int backlog, std::string* error);
  // The bound port, after a successful Listen.
  uint16_t port() const { return port_; }

  // Waits for the next connection or a wake-up.
  AcceptResult Accept(TcpConnection* connection);

  // One receive of at most `size` bytes, waiting at most `timeout`. The
  // number of bytes (0 when the peer closed, the time ran out, the receive
  // failed or the listener was woken).
  size_t Receive(const TcpConnection& connection, char* buffer, size_t size,
                 std::chrono::milliseconds timeout);

  void Wake();

 private:
  // True when `fd` became readable, false on a wake-up or timeout (-1: none).
  bool WaitReadable(int fd, int timeout_ms);

  ScopedFd listen_fd_;
  ScopedFd wake_fd_;  // an eventfd, readable once Wake was called
  uint16_t port_ = 0;
};

// Waits at most `timeout_ms` for `fd` (a socket a library owns) to become
// readable; false when the time ran out first.
bool WaitUntilReadable(int fd, int timeout_ms);

}  // namespace platform

#endif  // PLATFORM_SOCKET_H_
