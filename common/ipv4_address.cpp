#include "common/ipv4_address.h"

#include "platform/parse_digits.h"

namespace {

// One part: "0", or 1 to 3 digits without a leading zero, at most 255.
std::optional<uint32_t> ParsePart(std::string_view part) {
  if (part.size() > 3 || (part.size() > 1 && part[0] == '0')) return std::nullopt;
  std::optional<uint32_t> n = platform::ParseDigits<uint32_t>(part);
  if (!n || *n > 255) return std::nullopt;
  return n;
}

}  // namespace

std::optional<uint32_t> ParseIpv4Address(std::string_view text) {
  uint32_t address = 0;
  for (int i = 0; i < 4; ++i) {
    size_t dot = i < 3 ? text.find('.') : text.size();
    if (dot == std::string_view::npos) return std::nullopt;
    std::optional<uint32_t> part = ParsePart(text.substr(0, dot));
    if (!part) return std::nullopt;
    address = address << 8 | *part;
    text.remove_prefix(i < 3 ? dot + 1 : dot);
  }
  return address;
}

std::string FormatIpv4Address(uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xFF) + "." +
         std::to_string(address >> 8 & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::optional<Ipv4Endpoint> ParseIpv4Endpoint(std::string_view text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::optional<uint32_t> address = ParseIpv4Address(text.substr(0, colon));
  const std::string_view port_text = text.substr(colon + 1);
  if (!address || port_text.empty() || port_text[0] == '0') return std::nullopt;
  std::optional<uint32_t> port = platform::ParseDigits<uint32_t>(port_text);
  if (!port || *port > 65535) return std::nullopt;
  return Ipv4Endpoint{*address, static_cast<uint16_t>(*port)};
}
