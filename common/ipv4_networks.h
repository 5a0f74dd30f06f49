// Lists of IPv4 networks as the AgentNetworks setting writes them:
// networks in CIDR form separated by commas, for example
// "192.168.0.0/16,10.1.0.0/24". Pure functions; any thread.
#ifndef COMMON_IPV4_NETWORKS_H_
#define COMMON_IPV4_NETWORKS_H_

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

struct Ipv4Network {
  uint32_t address = 0;  // host byte order, no bits outside the mask
  uint32_t mask = 0;     // the prefix's bits set

  bool Contains(uint32_t a) const { return (a & mask) == address; }
};

// The networks of `text`, in order; an empty list for an empty or blank
// text. Nothing when any item does not parse. An item is an address (see
// ParseIpv4Address), "/" and a prefix length from 0 to 32, or an address
// alone for that one address; blanks around an item are allowed. An item
// with bits set after its prefix ("10.1.2.3/16") is refused rather than
// guessed at: it may mean 10.1.0.0/16 or 10.1.2.0/24.
std::optional<std::vector<Ipv4Network>> ParseIpv4Networks(std::string_view text);

#endif  // COMMON_IPV4_NETWORKS_H_
