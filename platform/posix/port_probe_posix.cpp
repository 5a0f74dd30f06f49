#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/port_probe.h"
#include "platform/posix/scoped_fd.h"

namespace platform {
namespace {

// Inodes of the sockets listening on `port` (state 0A) in one /proc table.
void ListeningInodes(const char* table, uint16_t port, std::set<std::string>* inodes) {
  std::ifstream in(table);
  std::string line;
  std::getline(in, line);  // the header
  for (int rows = 0; rows < 100000 && std::getline(in, line); ++rows) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmit, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmit >> uid >> timeout >>
        inode;
    const size_t colon = local.rfind(':');
    if (state != "0A" || colon == std::string::npos) continue;
    if (std::strtoul(local.c_str() + colon + 1, nullptr, 16) == port) inodes->insert(inode);
  }
}

std::string ReadComm(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

}  // namespace

PortState ProbeListenPort(uint32_t address, uint16_t port, std::string* error) {
  ScopedFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) {
    *error = std::strerror(errno);
    return PortState::kOther;
  }
  int on = 1;
  setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(address);
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && listen(fd.get(), 1) == 0)
    return PortState::kFree;
  if (errno == EADDRINUSE) return PortState::kInUse;
  *error = std::strerror(errno);
  return PortState::kOther;
}

std::string PortListenerName(uint16_t port) {
  std::set<std::string> inodes;
  ListeningInodes("/proc/net/tcp", port, &inodes);
  ListeningInodes("/proc/net/tcp6", port, &inodes);
  if (inodes.empty()) return "";
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return "";
  std::string found;
  while (found.empty()) {
    dirent* entry = readdir(proc);
    if (entry == nullptr) break;
    const std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    DIR* fds = opendir(("/proc/" + pid + "/fd").c_str());
    if (fds == nullptr) continue;  // another account's process
    while (dirent* fd = readdir(fds)) {
      char target[64] = {};
      const std::string link = "/proc/" + pid + "/fd/" + fd->d_name;
      const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      const std::string text(target, static_cast<size_t>(n));
      if (text.rfind("socket:[", 0) == 0 && inodes.count(text.substr(8, text.size() - 9))) {
        found = ReadComm(pid);
        break;
      }
    }
    closedir(fds);
  }
  closedir(proc);
  return found;
}

bool TcpReachable(const std::string& host, uint16_t port, std::chrono::milliseconds timeout,
                  std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int looked_up = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (looked_up != 0) {
    *error = gai_strerror(looked_up);
    return false;
  }
  *error = "no address";
  bool reached = false;
  for (addrinfo* a = found; a != nullptr && !reached; a = a->ai_next) {
    ScopedFd fd(socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0) continue;
    if (connect(fd.get(), a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
      *error = std::strerror(errno);
      continue;
    }
    pollfd p{fd.get(), POLLOUT, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) != 1) {
      *error = "no answer within " + std::to_string(timeout.count() / 1000) + " s";
      continue;
    }
    int so_error = 0;
    socklen_t len = sizeof so_error;
    getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &so_error, &len);
    if (so_error == 0)
      reached = true;
    else
      *error = std::strerror(so_error);
  }
  freeaddrinfo(found);
  return reached;
}

}  // namespace platform
