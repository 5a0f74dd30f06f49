// AgentNetworks: whom the listener hears, from the "AgentNetworks" value
// (IPv4 networks in CIDR form, comma-separated). The value is read afresh
// at most every kRefreshSeconds, so a change takes effect within seconds
// and without a restart. Missing or empty: every address, as without the
// setting. A value that does not parse shuts every agent out until it is
// fixed, with one event-log line: a list written on purpose fails closed.
// Used on the listener's thread only.
#ifndef SERVER_INTAKE_AGENT_NETWORKS_H_
#define SERVER_INTAKE_AGENT_NETWORKS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/ipv4_networks.h"
#include "platform/clock.h"

class AgentNetworks {
 public:
  static constexpr int64_t kRefreshSeconds = 3;

  explicit AgentNetworks(platform::Clock& clock) : clock_(clock) {}
  AgentNetworks(const AgentNetworks&) = delete;
  AgentNetworks& operator=(const AgentNetworks&) = delete;

  // True when an agent at `address` (host byte order; nothing when not
  // known) may be heard. Reads the value first when the last read is due.
  bool Allows(std::optional<uint32_t> address);

 private:
  void Refresh();
  void Apply(const std::string& text);

  platform::Clock& clock_;
  std::optional<int64_t> read_at_;     // when the value was last read
  std::optional<std::string> text_;    // the value last parsed
  std::vector<Ipv4Network> networks_;  // empty: everyone
  bool broken_ = false;                // the value does not parse
};

#endif  // SERVER_INTAKE_AGENT_NETWORKS_H_
