#include "server/intake/srv_socket.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "common/ipv4_address.h"
#include "common/reg_value.h"
#include "platform/peer_address.h"
#include "server/base/event_log.h"

namespace {

// A pause after running out of descriptors or memory, so the listener
// does not spin while the shortage lasts.
constexpr std::chrono::milliseconds kResourcePause{100};

}  // namespace

CSrvSocket::CSrvSocket(platform::Clock& clock, SrvSocketOptions options)
    : clock_(clock),
      options_(options),
      agent_networks_(clock),
      refused_(clock),
      queue_(options.queue_max_entries, options.queue_max_bytes) {}

CSrvSocket::~CSrvSocket() { Stop(); }

uint16_t CSrvSocket::PortFromRegistryValue(uint32_t value) {
  uint16_t port = uint16_t(value & 0xFFFF);
  return port == 0 ? uint16_t(DefaultNumber(setting::kDbServerPort)) : port;
}

void CSrvSocket::OnStopRequested() { listener_.Wake(); }

uint32_t CSrvSocket::Run(uint32_t) {
  try {
    Serve();
  } catch (...) {
    WriteEventLog("Crash in Run Server Socket");
  }
  listening_port_ = 0;
  return 0;
}

void CSrvSocket::Serve() {
  uint16_t port = options_.port
                      ? *options_.port
                      : PortFromRegistryValue(CRegNumberValue(setting::kDbServerPort).Read());
  // A port in use (or any other start-up failure) ends the listener
  // silently; the rest of the server runs on.
  if (!StartListening(port)) return;
  listening_port_ = listener_.port();
  buffer_.resize(kReceiveSize);
  for (;;) {
    platform::TcpConnection connection;
    switch (listener_.Accept(&connection)) {
      case platform::TcpListener::AcceptResult::kAccepted: {
        std::optional<uint32_t> peer = platform::PeerAddress(connection);
        if (Admits(peer)) ServeConnection(connection, peer);
        break;
      }
      case platform::TcpListener::AcceptResult::kRetry:
        break;
      case platform::TcpListener::AcceptResult::kRetryAfterPause:
        if (!SleepFor(kResourcePause)) return;
        break;
      case platform::TcpListener::AcceptResult::kWoken:
      case platform::TcpListener::AcceptResult::kBroken:
        return;
    }
  }
}

// Only a ListenAddress that cannot be used is reported: it was set on
// purpose, and the agents meant to reach it are not heard.
bool CSrvSocket::StartListening(uint16_t port) {
  std::string address_text = CRegTextValue(setting::kListenAddress).Read();
  if (address_text.empty()) return listener_.Listen(port, kBacklog, nullptr);
  std::optional<uint32_t> address = ParseIpv4Address(address_text);
  std::string error = "not an IPv4 address";
  if (address && listener_.ListenOn(*address, port, kBacklog, &error)) return true;
  WriteEventLog("Crash in Run Server Socket: cannot listen on ListenAddress \"%s\" port %u: %s",
                address_text.c_str(), unsigned(port), error.c_str());
  return false;
}

// A connection from outside the agents' networks is closed unread.
bool CSrvSocket::Admits(std::optional<uint32_t> peer) {
  if (agent_networks_.Allows(peer)) return true;
  refused_.Count("Agent connection from " +
                 (peer ? FormatIpv4Address(*peer) : std::string("an unknown address")) +
                 " refused by AgentNetworks");
  return false;
}

// A report may arrive in several segments (a slow link, a small window), so
// receiving goes on until a line feed has arrived, the buffer is full, the
// peer has closed or the connection's one time limit has passed. A zero byte
// ends it too: it ends the text, so nothing after it could bring the line
// feed. A report whose first segment holds its line feed takes one receive,
// as it always has.
size_t CSrvSocket::ReceiveReport(const platform::TcpConnection& connection) {
  const auto deadline = std::chrono::steady_clock::now() + options_.receive_timeout;
  size_t n = 0;
  while (n < buffer_.size()) {
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (n > 0 && left.count() <= 0) break;
    size_t got = listener_.Receive(connection, buffer_.data() + n, buffer_.size() - n,
                                   std::max(left, std::chrono::milliseconds(0)));
    if (got == 0) break;  // closed, timed out, failed or woken
    const char* segment = buffer_.data() + n;
    n += got;
    if (std::memchr(segment, '\n', got) || std::memchr(segment, 0, got)) break;
  }
  return n;
}

void CSrvSocket::ServeConnection(const platform::TcpConnection& connection,
                                 std::optional<uint32_t> peer) {
  size_t n = ReceiveReport(connection);
  std::string request;
  try {
    // A zero byte ends the text early.
    const void* zero = std::memchr(buffer_.data(), 0, n);
    request.assign(buffer_.data(), zero ? static_cast<const char*>(zero) - buffer_.data() : n);
  } catch (const std::exception&) {
    WriteEventLog("Crash in Run Server Socket canot delete buffer");
    request.clear();
  }
  if (request.find('\n') != std::string::npos) {
    // A full queue drops the report (and says so once per burst); the
    // listener goes on either way.
    queue_.Push({std::move(request), clock_.Now(), peer});
  }
}
