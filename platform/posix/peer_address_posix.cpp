#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/peer_address.h"

namespace platform {

std::optional<uint32_t> PeerAddress(const TcpConnection& connection) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (getpeername(connection.fd(), reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
      addr.sin_family != AF_INET) {
    return std::nullopt;
  }
  return ntohl(addr.sin_addr.s_addr);
}

}  // namespace platform
