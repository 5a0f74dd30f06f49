#include "common/ipv4_networks.h"

#include "common/ipv4_address.h"
#include "platform/parse_digits.h"

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A prefix length: "0" to "32", no leading zero.
std::optional<int> ParsePrefixLength(std::string_view text) {
  if (text.size() > 2 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  std::optional<unsigned> n = platform::ParseDigits<unsigned>(text);
  if (!n || *n > 32) return std::nullopt;
  return int(*n);
}

std::optional<Ipv4Network> ParseNetwork(std::string_view item) {
  size_t slash = item.find('/');
  std::optional<uint32_t> address = ParseIpv4Address(item.substr(0, slash));
  std::optional<int> length =
      slash == std::string_view::npos ? 32 : ParsePrefixLength(item.substr(slash + 1));
  if (!address || !length) return std::nullopt;
  // A shift by 32 is undefined, so a /0 mask is spelled out.
  uint32_t mask = *length == 0 ? 0 : ~uint32_t{0} << (32 - *length);
  if ((*address & ~mask) != 0) return std::nullopt;
  return Ipv4Network{*address, mask};
}

}  // namespace

std::optional<std::vector<Ipv4Network>> ParseIpv4Networks(std::string_view text) {
  std::vector<Ipv4Network> networks;
  if (TrimBlanks(text).empty()) return networks;
  for (;;) {
    size_t comma = text.find(',');
    std::optional<Ipv4Network> network = ParseNetwork(TrimBlanks(text.substr(0, comma)));
    if (!network) return std::nullopt;
    networks.push_back(*network);
    if (comma == std::string_view::npos) return networks;
    text.remove_prefix(comma + 1);
  }
}
