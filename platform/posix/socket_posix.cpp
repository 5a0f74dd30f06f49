// The listener on POSIX sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

#include "platform/files.h"
#include "platform/posix/eintr.h"
#include "platform/posix/scoped_fd.h"
#include "platform/socket.h"

namespace platform {

namespace {

// Failures that belong to one connection or to the moment, not to the
// listening socket (accept(2) lists the network ones as to be retried).
bool IsPassingAcceptError(int err) {
  switch (err) {
    case EAGAIN:
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case EPERM:  // a firewall rule refused this one connection
      return true;
    default:
      return false;
  }
}

bool IsResourceError(int err) {
  return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM;
}

}  // namespace

TcpListener::TcpListener()
    : wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), poll_fd_(epoll_create1(EPOLL_CLOEXEC)) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = wake_fd_.get();
  epoll_ctl(poll_fd_.get(), EPOLL_CTL_ADD, wake_fd_.get(), &event);
}

bool TcpListener::Listen(uint16_t port, int backlog, std::string* error) {
  return ListenOn(INADDR_ANY, port, backlog, error);
}

bool TcpListener::ListenOn(uint32_t address, uint16_t port, int backlog, std::string* error) {
  ScopedFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.is_valid()) {
    if (error) *error = "socket: " + ErrnoText(errno);
    return false;
  }
  int on = 1;
  setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(address);
  addr.sin_port = htons(port);
  socklen_t len = sizeof addr;
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(fd.get(), backlog) != 0 ||
      getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    if (error) *error = ErrnoText(errno);
    return false;
  }
  listen_fd_ = std::move(fd);
  port_ = ntohs(addr.sin_port);
  listener_watched_ = false;
  return true;
}

void TcpListener::WatchListener(bool accepting) {
  if (accepting == listener_watched_ || !listen_fd_.is_valid()) return;
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = listen_fd_.get();
  int op = accepting ? EPOLL_CTL_ADD : EPOLL_CTL_DEL;
  if (epoll_ctl(poll_fd_.get(), op, listen_fd_.get(), &event) == 0) listener_watched_ = accepting;
}

void TcpListener::WaitAny(std::chrono::milliseconds timeout, bool accepting, Readiness* ready) {
  ready->woken = ready->broken = ready->listener = false;
  ready->connections.clear();
  WatchListener(accepting);
  epoll_event events[64];
  int n = epoll_wait(poll_fd_.get(), events, 64, timeout.count() < 0 ? -1 : int(timeout.count()));
  if (n < 0) {
    ready->broken = errno != EINTR;
    return;
  }
  for (int i = 0; i < n; ++i) {
    int fd = events[i].data.fd;
    if (fd == wake_fd_.get()) {
      ready->woken = true;
    } else if (fd == listen_fd_.get()) {
      ready->listener = true;
      if (events[i].events & (EPOLLERR | EPOLLHUP)) ready->broken = true;
    } else {
      ready->connections.push_back(fd);
    }
  }
}

TcpListener::AcceptResult TcpListener::AcceptWaiting(TcpConnection* connection,
                                                     std::optional<uint32_t>* peer) {
  if (!listen_fd_.is_valid()) return AcceptResult::kBroken;
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  int fd = accept4(listen_fd_.get(), reinterpret_cast<sockaddr*>(&addr), &len,
                   SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd >= 0) {
    connection->Reset(fd);
    *peer = std::nullopt;
    if (len <= sizeof addr && addr.sin_family == AF_INET) *peer = ntohl(addr.sin_addr.s_addr);
    return AcceptResult::kAccepted;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK) return AcceptResult::kNoneWaiting;
  if (IsPassingAcceptError(errno)) return AcceptResult::kRetry;
  if (IsResourceError(errno)) return AcceptResult::kRetryAfterPause;
  return AcceptResult::kBroken;
}

bool TcpListener::Watch(const TcpConnection& connection) {
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP;
  event.data.fd = connection.fd();
  return epoll_ctl(poll_fd_.get(), EPOLL_CTL_ADD, connection.fd(), &event) == 0;
}

// Explicitly, since a child being started may hold a copy of the
// descriptor for a moment, and the watch lasts while any copy is open.
void TcpListener::Unwatch(const TcpConnection& connection) {
  epoll_ctl(poll_fd_.get(), EPOLL_CTL_DEL, connection.fd(), nullptr);
}

TcpListener::Received TcpListener::ReceiveWaiting(const TcpConnection& connection, char* buffer,
                                                  size_t size) {
  Received got;
  ssize_t n = HANDLE_EINTR(recv(connection.fd(), buffer, size, MSG_DONTWAIT));
  if (n > 0) {
    got.bytes = size_t(n);
  } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
    got.ended = true;
  }
  return got;
}

int MaxListenBacklog() {
  int value = 0;
  std::ifstream file("/proc/sys/net/core/somaxconn");
  if (file >> value && value > 0) return value;
  return SOMAXCONN;
}

size_t RaiseOpenFileLimit(size_t wanted) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
    rlimit raised = limit;
    raised.rlim_cur =
        limit.rlim_max == RLIM_INFINITY ? wanted : std::min<rlim_t>(wanted, limit.rlim_max);
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur == RLIM_INFINITY ? wanted : size_t(limit.rlim_cur);
}

bool TcpListener::WaitReadable(int fd, int timeout_ms) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake_fd_.get(), POLLIN, 0}};
  int n = HANDLE_EINTR(poll(fds, 2, timeout_ms));
  if (n <= 0 || fds[1].revents != 0) return false;
  return fds[0].revents != 0;
}

TcpListener::AcceptResult TcpListener::Accept(TcpConnection* connection) {
  if (!listen_fd_.is_valid()) return AcceptResult::kBroken;
  pollfd fds[2] = {{listen_fd_.get(), POLLIN, 0}, {wake_fd_.get(), POLLIN, 0}};
  if (poll(fds, 2, -1) < 0) return errno == EINTR ? AcceptResult::kRetry : AcceptResult::kBroken;
  if (fds[1].revents != 0) return AcceptResult::kWoken;
  if (fds[0].revents & (POLLERR | POLLNVAL)) return AcceptResult::kBroken;
  // The listening socket is non-blocking, so a connection that went away
  // between poll and accept gives EAGAIN rather than a hang.
  int fd = accept4(listen_fd_.get(), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) {
    connection->Reset(fd);
    return AcceptResult::kAccepted;
  }
  if (IsPassingAcceptError(errno)) return AcceptResult::kRetry;
  if (IsResourceError(errno)) return AcceptResult::kRetryAfterPause;
  return AcceptResult::kBroken;
}

size_t TcpListener::Receive(const TcpConnection& connection, char* buffer, size_t size,
                            std::chrono::milliseconds timeout) {
  if (!WaitReadable(connection.fd(), int(timeout.count()))) return 0;
  ssize_t n = HANDLE_EINTR(recv(connection.fd(), buffer, size, MSG_DONTWAIT));
  return n > 0 ? size_t(n) : 0;
}

void TcpListener::Wake() {
  uint64_t one = 1;
  ssize_t ignored = write(wake_fd_.get(), &one, sizeof one);
  (void)ignored;
}

bool WaitUntilReadable(int fd, int timeout_ms) {
  pollfd fds[1] = {{fd, POLLIN, 0}};
  return HANDLE_EINTR(poll(fds, 1, timeout_ms)) > 0;
}

}  // namespace platform
