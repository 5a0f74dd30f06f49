#include "server/intake/srv_socket.h"

#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "common/reg_value.h"
#include "server/base/event_log.h"

namespace {

// A pause after running out of descriptors or memory, so the listener
// does not spin while the shortage lasts.
constexpr std::chrono::milliseconds kResourcePause{100};

}  // namespace

CSrvSocket::CSrvSocket(platform::Clock& clock, SrvSocketOptions options)
    : clock_(clock),
      options_(options),
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
  uint16_t port =
      options_.port
          ? *options_.port
          : PortFromRegistryValue(CRegNumberValue(setting::kDbServerPort).Read());
  // A port in use (or any other start-up failure) ends the listener
  // silently; the rest of the server runs on.
  if (!listener_.Listen(port, kBacklog, nullptr)) return;
  listening_port_ = listener_.port();
  buffer_.resize(kReceiveSize);
  for (;;) {
    platform::TcpConnection connection;
    switch (listener_.Accept(&connection)) {
      case platform::TcpListener::AcceptResult::kAccepted:
        ServeConnection(connection);
        break;
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

void CSrvSocket::ServeConnection(const platform::TcpConnection& connection) {
  size_t n =
      listener_.Receive(connection, buffer_.data(), buffer_.size(), options_.receive_timeout);
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
    queue_.Push({std::move(request), clock_.Now()});
  }
}
