// Probes of TCP ports for the server's self-check: can a port be listened
// on, who holds it, can a host be reached. Any thread.
#ifndef PLATFORM_PORT_PROBE_H_
#define PLATFORM_PORT_PROBE_H_

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

enum class PortState { kFree, kInUse, kOther };

// Tries to listen on `address` (host byte order; 0 for all) and `port`,
// and lets go at once. kOther (with `error`) for any failure but EADDRINUSE.
PortState ProbeListenPort(uint32_t address, uint16_t port, std::string* error);

// The name (/proc/<pid>/comm) of a process that listens on TCP `port`, as
// far as this process may see; empty when none is found.
std::string PortListenerName(uint16_t port);

// True when a TCP connection to `host`:`port` opens within `timeout`;
// otherwise false with `error`. The connection is closed at once.
bool TcpReachable(const std::string& host, uint16_t port, std::chrono::milliseconds timeout,
                  std::string* error);

}  // namespace platform

#endif  // PLATFORM_PORT_PROBE_H_
