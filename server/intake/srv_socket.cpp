#include "server/intake/srv_socket.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "common/ipv4_address.h"
#include "common/reg_value.h"
#include "server/base/event_log.h"
#include "server/base/server_metrics.h"

namespace {

// A pause of accepting after running out of descriptors or memory, so the
// listener does not spin while the shortage lasts; open connections are
// served meanwhile.
constexpr std::chrono::milliseconds kResourcePause{100};
// Descriptors kept for everything else the server opens (database, logs,
// pipes of the programs it starts).
constexpr size_t kOtherDescriptors = 256;
// Connections accepted in one round before the open ones are served again.
constexpr int kAcceptsPerRound = 64;

std::string PeerText(std::optional<uint32_t> peer) {
  return peer ? FormatIpv4Address(*peer) : std::string("an unknown address");
}

// Tests only: a smaller queue, so that a flood a test can send fills it.
size_t QueueEntries(const SrvSocketOptions& options) {
  const char* entries = std::getenv(CSrvSocket::kQueueEntriesVariable);
  const long long value = entries ? std::atoll(entries) : 0;
  return value > 0 ? static_cast<size_t>(value) : options.queue_max_entries;
}

}  // namespace

CSrvSocket::CSrvSocket(platform::Clock& clock, SrvSocketOptions options)
    : clock_(clock),
      options_(options),
      agent_networks_(clock),
      refused_(clock),
      refused_per_peer_(clock),
      closed_for_room_(clock, EventPriority::kWarning),
      arrival_check_(clock),
      queue_(QueueEntries(options), options.queue_max_bytes) {}

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
    WriteEventLog(EventPriority::kError, "Crash in Run Server Socket");
  }
  while (connections_.size() > 0) Close(connections_.FirstToExpire());
  listening_port_ = 0;
  server_metrics::SetListening(false);
  return 0;
}

void CSrvSocket::Serve() {
  uint16_t port = options_.port
                      ? *options_.port
                      : PortFromRegistryValue(CRegNumberValue(setting::kDbServerPort).Read());
  if (!ListenWhenPossible(port)) return;  // stopped first
  listening_port_ = listener_.port();
  server_metrics::SetListening(true);
  buffer_.resize(kReceiveSize);
  size_t limit = platform::RaiseOpenFileLimit(options_.max_connections + kOtherDescriptors);
  max_connections_ = std::max<size_t>(
      1, std::min(options_.max_connections,
                  limit > 2 * kOtherDescriptors ? limit - kOtherDescriptors : limit / 2));
  platform::TcpListener::Readiness ready;
  for (;;) {
    TimePoint now = std::chrono::steady_clock::now();
    CloseExpired(now);
    if (accept_paused_until_ && now >= *accept_paused_until_) accept_paused_until_.reset();
    listener_.WaitAny(TimeToWait(now), !accept_paused_until_, &ready);
    if (ready.woken || ready.broken) return;
    for (int fd : ready.connections) {
      Connection* connection = connections_.Find(fd);
      if (connection && ReceiveFrom(*connection)) Close(fd);
    }
    if (ready.listener && !AcceptWaiting(std::chrono::steady_clock::now())) return;
  }
}

// A port held by another program, or an address not (yet) on this
// machine, may come free at any time: said once, with its cause, then
// tried again every few seconds until listening, which is said too.
bool CSrvSocket::ListenWhenPossible(uint16_t port) {
  std::string failed;  // the failure already said, or empty
  for (;;) {
    std::string where, error;
    if (StartListening(port, &where, &error)) {
      if (!failed.empty()) WriteEventLog("Listening on %s now", where.c_str());
      return true;
    }
    std::string line = "cannot listen on " + where + ": " + error;
    if (line != failed) {
      WriteEventLog(EventPriority::kError,
                    "Crash in Run Server Socket: %s; trying again every %lld seconds", line.c_str(),
                    static_cast<long long>(
                        std::chrono::ceil<std::chrono::seconds>(options_.listen_retry).count()));
      failed = line;
    }
    if (!SleepFor(options_.listen_retry)) return false;
  }
}

// `where` names the port (and the ListenAddress when set) for the lines.
bool CSrvSocket::StartListening(uint16_t port, std::string* where, std::string* error) {
  int backlog = platform::MaxListenBacklog();
  std::string address_text = CRegTextValue(setting::kListenAddress).Read();
  *where = "port " + std::to_string(port);
  if (address_text.empty()) return listener_.Listen(port, backlog, error);
  *where = "ListenAddress \"" + address_text + "\" " + *where;
  std::optional<uint32_t> address = ParseIpv4Address(address_text);
  if (!address) {
    *error = "not an IPv4 address";
    return false;
  }
  return listener_.ListenOn(*address, port, backlog, error);
}

// Until the first connection runs out of time or accepting resumes; with
// neither, until something happens.
std::chrono::milliseconds CSrvSocket::TimeToWait(TimePoint now) const {
  std::optional<TimePoint> until = accept_paused_until_;
  if (std::optional<TimePoint> deadline = connections_.FirstDeadline()) {
    until = until ? std::min(*until, *deadline) : *deadline;
  }
  if (!until) return std::chrono::milliseconds(-1);
  return std::max(std::chrono::ceil<std::chrono::milliseconds>(*until - now),
                  std::chrono::milliseconds(0));
}

// A connection out of time has sent no line feed: what it sent is dropped.
void CSrvSocket::CloseExpired(TimePoint now) {
  for (auto deadline = connections_.FirstDeadline(); deadline && *deadline <= now;
       deadline = connections_.FirstDeadline()) {
    Close(connections_.FirstToExpire());
  }
}

bool CSrvSocket::AcceptWaiting(TimePoint now) {
  for (int i = 0; i < kAcceptsPerRound; ++i) {
    // At the cap every new connection closes the one silent longest: one
    // per round, so that what arrived meanwhile is heard first.
    if (i > 0 && connections_.size() >= max_connections_) return true;
    auto connection = std::make_unique<Connection>();
    switch (listener_.AcceptWaiting(&connection->socket, &connection->peer)) {
      case platform::TcpListener::AcceptResult::kAccepted:
        Admit(std::move(connection), now);
        break;
      case platform::TcpListener::AcceptResult::kRetry:
        break;
      case platform::TcpListener::AcceptResult::kRetryAfterPause:
        accept_paused_until_ = now + kResourcePause;
        return true;
      case platform::TcpListener::AcceptResult::kNoneWaiting:
      case platform::TcpListener::AcceptResult::kWoken:
        return true;
      case platform::TcpListener::AcceptResult::kBroken:
        return false;
    }
  }
  return true;
}

// A report usually arrives with its connection, so it is read at once;
// only a connection that has not finished is kept and watched.
void CSrvSocket::Admit(std::unique_ptr<Connection> connection, TimePoint now) {
  server_metrics::ConnectionAccepted();
  if (!AdmitsPeer(connection->peer)) return;  // closed unread as it goes
  connection->deadline = now + options_.receive_timeout;
  if (ReceiveFrom(*connection)) return;
  if (connections_.size() >= max_connections_) MakeRoom();
  if (!listener_.Watch(connection->socket)) return;
  connections_.Add(std::move(connection));
}

bool CSrvSocket::AdmitsPeer(std::optional<uint32_t> peer) {
  if (!agent_networks_.Allows(peer)) {
    server_metrics::ConnectionRefused("agent_networks");
    refused_.Count("Agent connection from " + PeerText(peer) + " refused by AgentNetworks");
    return false;
  }
  if (connections_.CountFrom(peer) < options_.max_per_peer) return true;
  server_metrics::ConnectionRefused("per_address");
  refused_per_peer_.Count("Agent connection from " + PeerText(peer) +
                          " refused: " + std::to_string(options_.max_per_peer) +
                          " connections from that address are open");
  return false;
}

void CSrvSocket::MakeRoom() {
  int fd = connections_.LongestSilent();
  server_metrics::ConnectionRefused("room");
  closed_for_room_.Count("Agent connection from " + PeerText(connections_.Find(fd)->peer) +
                         " closed to make room: " + std::to_string(max_connections_) +
                         " agent connections are open, and it was silent longest");
  Close(fd);
}

// A report may arrive in several segments (a slow link, a small window), so
// it is complete once a line feed has arrived, the buffer is full or the
// peer has closed. A zero byte ends it too: it ends the text, so nothing
// after it could bring the line feed.
bool CSrvSocket::ReceiveFrom(Connection& connection) {
  size_t room = kReceiveSize - connection.received.size();
  auto got = listener_.ReceiveWaiting(connection.socket, buffer_.data(), room);
  if (got.bytes > 0) {
    connection.received.append(buffer_.data(), got.bytes);
    if (connection.kept()) connections_.Heard(connection);
    bool ends = std::memchr(buffer_.data(), '\n', got.bytes) ||
                std::memchr(buffer_.data(), 0, got.bytes) || got.bytes == room;
    if (!ends) return false;
  } else if (!got.ended) {
    return false;  // nothing yet
  }
  Finish(connection);
  return true;
}

void CSrvSocket::Finish(const Connection& connection) {
  std::string request;
  try {
    // A zero byte ends the text early.
    const std::string& received = connection.received;
    request.assign(received, 0, std::min(received.find('\0'), received.size()));
  } catch (const std::exception&) {
    WriteEventLog(EventPriority::kError, "Crash in Run Server Socket canot delete buffer");
    request.clear();
  }
  if (request.find('\n') == std::string::npos) return server_metrics::ReportDropped("incomplete");
  if (!arrival_check_.Admits(request, connection.peer)) return;
  // A full queue drops a report (and says so once per burst); the listener
  // goes on either way.
  queue_.Push({std::move(request), clock_.Now(), connection.peer});
}

void CSrvSocket::Close(int fd) {
  std::unique_ptr<Connection> connection = connections_.Remove(fd);
  if (connection) listener_.Unwatch(connection->socket);
}
