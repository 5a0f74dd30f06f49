// TCP listening for the server's one network endpoint.
//
// A TcpListener owns its listening socket and a wake-up descriptor. It
// serves either one connection at a time (Accept, then Receive, both
// waiting) or many at once on one thread (WaitAny over the listening socket
// and the watched connections, then AcceptWaiting and ReceiveWaiting, which
// never wait). Everything but Wake is called from the one serving thread;
// Wake may be called from any thread and makes every later wait return at
// once. Every descriptor is close-on-exec, so spawned programs never
// inherit them.
#ifndef PLATFORM_SOCKET_H_
#define PLATFORM_SOCKET_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    kNoneWaiting,      // AcceptWaiting only: no connection is waiting
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

  // What WaitAny found ready.
  struct Readiness {
    bool woken = false;            // Wake was called
    bool broken = false;           // the wait itself failed
    bool listener = false;         // a connection waits to be accepted
    std::vector<int> connections;  // descriptors of readable (or ended) connections
  };
  // Waits at most `timeout` (negative: no limit) until a connection waits
  // to be accepted (when `accepting`), a watched connection is readable or
  // has ended, or Wake was called.
  void WaitAny(std::chrono::milliseconds timeout, bool accepting, Readiness* ready);
  // Accepts a connection that is already waiting, without waiting; `peer`
  // is its IPv4 address (host byte order), nothing when not IPv4.
  AcceptResult AcceptWaiting(TcpConnection* connection, std::optional<uint32_t>* peer);
  // Makes WaitAny report `connection` when it is readable, until Unwatch
  // (called before the connection is closed).
  bool Watch(const TcpConnection& connection);
  void Unwatch(const TcpConnection& connection);

  struct Received {
    size_t bytes = 0;    // bytes put into the buffer
    bool ended = false;  // the peer closed, or the connection failed
  };
  // One receive of what has arrived, without waiting.
  Received ReceiveWaiting(const TcpConnection& connection, char* buffer, size_t size);

 private:
  // True when `fd` became readable, false on a wake-up or timeout (-1: none).
  bool WaitReadable(int fd, int timeout_ms);
  bool Adopt(ScopedFd fd, int backlog, std::string* error);
  void WatchListener(bool accepting);

  ScopedFd listen_fd_;
  ScopedFd wake_fd_;  // an eventfd, readable once Wake was called
  ScopedFd poll_fd_;  // an epoll set: the wake-up, the listening socket, the connections
  bool listener_watched_ = false;
  uint16_t port_ = 0;
};

// The largest listen backlog the system grants (net.core.somaxconn), so
// that a burst of connections waits in the kernel rather than being lost.
int MaxListenBacklog();

// Raises the soft limit of open descriptors towards `wanted` (as far as the
// hard limit allows); the soft limit after.
size_t RaiseOpenFileLimit(size_t wanted);

// Waits at most `timeout_ms` for `fd` (a socket a library owns) to become
// readable; false when the time ran out first.
bool WaitUntilReadable(int fd, int timeout_ms);

}  // namespace platform

#endif  // PLATFORM_SOCKET_H_
