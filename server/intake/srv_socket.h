// CSrvSocket: the TCP listener. Takes one report per connection (in as many
// segments as it arrives, within the connection's time limit), stamps it
// with its arrival time and its sender's address and puts it on the request
// queue, which it owns; it never answers. It listens on "ListenAddress"
// (all addresses when empty) with the system's largest backlog, trying
// again every few seconds while the port is in use, and closes a
// connection from outside "AgentNetworks" unread, counting the refusals.
//
// Many connections are served at once on the listener's own thread, each
// with its own time limit, so a silent or slow peer holds up nobody. At
// most max_per_peer connections from one address are open (a site behind
// address translation reports from one); past that a new one is closed
// unread. At most max_connections are open in all; past that the one silent
// longest is closed to make room. Both are counted, with one event-log line
// per burst. A complete report is checked on arrival (CArrivalCheck) before
// it is queued.
//
// Construction, Start and Stop belong to the owning thread; queue() may be
// used from any thread.
#ifndef SERVER_INTAKE_SRV_SOCKET_H_
#define SERVER_INTAKE_SRV_SOCKET_H_

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/socket.h"
#include "server/base/cthread.h"
#include "server/base/refusal_counter.h"
#include "server/intake/agent_networks.h"
#include "server/intake/arrival_check.h"
#include "server/intake/open_connections.h"
#include "server/intake/request_queue.h"

struct SrvSocketOptions {
  // The listening port; when unset, read from "DBServerPort" at start-up.
  std::optional<uint16_t> port;
  // How long one connection may take to send its report, all segments.
  std::chrono::milliseconds receive_timeout{5000};
  size_t queue_max_entries = CRequestQueue::kDefaultMaxEntries;
  size_t queue_max_bytes = CRequestQueue::kDefaultMaxBytes;
  size_t max_per_peer = 64;
  size_t max_connections = 1024;
  // How long to wait before trying again to listen on a port in use.
  std::chrono::milliseconds listen_retry{3000};
};

class CSrvSocket final : public CThread {
 public:
  static constexpr size_t kReceiveSize = 16384;
  // Tests only: the request queue's bound in entries, in place of the
  // options' own.
  static constexpr const char* kQueueEntriesVariable = "QUORVANE_QUEUE_ENTRIES_FOR_TESTING";

  explicit CSrvSocket(platform::Clock& clock = platform::SystemClock(),
                      SrvSocketOptions options = {});
  ~CSrvSocket() override;

  uint32_t Run(uint32_t arg) override;
  CRequestQueue& queue() { return queue_; }

  // The port being listened on, 0 until listening (or after giving up).
  uint16_t listening_port() const { return listening_port_; }

  // The port for a "DBServerPort" value: its low 16 bits, the setting's
  // default (8585) when those are 0 (a port of 0 would bind a random one).
  static uint16_t PortFromRegistryValue(uint32_t value);

 protected:
  void OnStopRequested() override;

 private:
  using Connection = COpenConnections::Connection;
  using TimePoint = COpenConnections::TimePoint;

  void Serve();
  // False when a stop came before the port could be listened on.
  bool ListenWhenPossible(uint16_t port);
  bool StartListening(uint16_t port, std::string* where, std::string* error);
  std::chrono::milliseconds TimeToWait(TimePoint now) const;
  void CloseExpired(TimePoint now);
  // False when the listening socket failed.
  bool AcceptWaiting(TimePoint now);
  void Admit(std::unique_ptr<Connection> connection, TimePoint now);
  bool AdmitsPeer(std::optional<uint32_t> peer);
  void MakeRoom();
  // Receives what has arrived; true when the report is complete (or the
  // connection ended) and the connection is done with.
  bool ReceiveFrom(Connection& connection);
  void Finish(const Connection& connection);
  void Close(int fd);

  platform::Clock& clock_;
  const SrvSocketOptions options_;
  platform::TcpListener listener_;
  std::atomic<uint16_t> listening_port_{0};
  // Everything below is the listener's thread's only.
  std::vector<char> buffer_;    // one receive
  size_t max_connections_ = 0;  // the option, within the descriptors the process may open
  std::optional<TimePoint> accept_paused_until_;  // out of descriptors or memory
  COpenConnections connections_;
  AgentNetworks agent_networks_;
  CRefusalCounter refused_;           // by AgentNetworks
  CRefusalCounter refused_per_peer_;  // past max_per_peer
  CRefusalCounter closed_for_room_;   // closed silent at max_connections
  CArrivalCheck arrival_check_;
  CRequestQueue queue_;
};

#endif  // SERVER_INTAKE_SRV_SOCKET_H_
