// CSrvSocket: the TCP listener. Takes one report per connection (in as many
// segments as it arrives, within the connection's time limit), stamps it
// with its arrival time and its sender's address and puts it on the request
// queue, which it owns; it never answers. It listens on "ListenAddress"
// (all addresses when empty) and closes a connection from outside
// "AgentNetworks" unread, counting the refusals. Connections are served one after another on the
// listener's own thread. Construction, Start and Stop belong to the owning
// thread; queue() may be used from any thread.
#ifndef SERVER_INTAKE_SRV_SOCKET_H_
#define SERVER_INTAKE_SRV_SOCKET_H_

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/socket.h"
#include "server/base/cthread.h"
#include "server/base/refusal_counter.h"
#include "server/intake/agent_networks.h"
#include "server/intake/request_queue.h"

struct SrvSocketOptions {
  // The listening port; when unset, read from "DBServerPort" at start-up.
  std::optional<uint16_t> port;
  // How long one connection may take to send its report, all segments.
  std::chrono::milliseconds receive_timeout{5000};
  size_t queue_max_entries = CRequestQueue::kDefaultMaxEntries;
  size_t queue_max_bytes = CRequestQueue::kDefaultMaxBytes;
};

class CSrvSocket final : public CThread {
 public:
  static constexpr int kBacklog = 5;
  static constexpr size_t kReceiveSize = 16384;

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
  void Serve();
  bool StartListening(uint16_t port);
  bool Admits(std::optional<uint32_t> peer);
  void ServeConnection(const platform::TcpConnection& connection, std::optional<uint32_t> peer);
  // Receives into buffer_; the number of bytes received.
  size_t ReceiveReport(const platform::TcpConnection& connection);

  platform::Clock& clock_;
  const SrvSocketOptions options_;
  platform::TcpListener listener_;
  std::atomic<uint16_t> listening_port_{0};
  std::vector<char> buffer_;      // the receive buffer, listener's thread only
  AgentNetworks agent_networks_;  // listener's thread only
  CRefusalCounter refused_;       // listener's thread only
  CRequestQueue queue_;
};

#endif  // SERVER_INTAKE_SRV_SOCKET_H_
