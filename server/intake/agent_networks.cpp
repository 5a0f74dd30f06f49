#include "server/intake/agent_networks.h"

#include "common/reg_value.h"
#include "server/base/event_log.h"

bool AgentNetworks::Allows(std::optional<uint32_t> address) {
  Refresh();
  if (broken_) return false;
  if (networks_.empty()) return true;
  if (!address) return false;
  for (const Ipv4Network& network : networks_)
    if (network.Contains(*address)) return true;
  return false;
}

void AgentNetworks::Refresh() {
  int64_t now = clock_.Now();
  // A clock set back reads at once rather than keeping the old list.
  if (read_at_ && now >= *read_at_ && now - *read_at_ < kRefreshSeconds) return;
  read_at_ = now;
  std::string text = CRegTextValue(setting::kAgentNetworks).Read();
  if (text_ != text) Apply(text);
}

void AgentNetworks::Apply(const std::string& text) {
  text_ = text;
  std::optional<std::vector<Ipv4Network>> networks = ParseIpv4Networks(text);
  if (!networks) {
    if (!broken_)
      WriteEventLog(EventPriority::kError,
                    "AgentNetworks \"%s\" cannot be read: no agent is heard until it is fixed",
                    text.c_str());
    broken_ = true;
    networks_.clear();
    return;
  }
  if (broken_) WriteEventLog("AgentNetworks can be read again: agents are heard");
  broken_ = false;
  networks_ = std::move(*networks);
}
