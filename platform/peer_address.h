// Who is at the other end of an accepted connection. Any thread that holds
// the connection.
#ifndef PLATFORM_PEER_ADDRESS_H_
#define PLATFORM_PEER_ADDRESS_H_

#include <cstdint>
#include <optional>

#include "platform/socket.h"

namespace platform {

// The peer's IPv4 address in host byte order; nothing when the peer is gone
// or not IPv4.
std::optional<uint32_t> PeerAddress(const TcpConnection& connection);

}  // namespace platform

#endif  // PLATFORM_PEER_ADDRESS_H_
