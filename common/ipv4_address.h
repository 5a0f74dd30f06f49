// IPv4 addresses as the settings and the agents write them: four decimal
// parts from 0 to 255 separated by dots ("192.168.0.7"). Held as a 32-bit
// number in host byte order, the first part in the top byte. Pure
// functions; any thread.
#ifndef COMMON_IPV4_ADDRESS_H_
#define COMMON_IPV4_ADDRESS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The address, or nothing for any other text. Strict on purpose: no
// blanks, no fewer parts, no leading zeros ("010" is octal to some readers
// and decimal to others, so it would name two different machines).
std::optional<uint32_t> ParseIpv4Address(std::string_view text);

std::string FormatIpv4Address(uint32_t address);

// "address:port" ("127.0.0.1:9464"), the port 1 to 65535 without a leading
// zero; nothing for any other text.
struct Ipv4Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;
};
std::optional<Ipv4Endpoint> ParseIpv4Endpoint(std::string_view text);

#endif  // COMMON_IPV4_ADDRESS_H_
