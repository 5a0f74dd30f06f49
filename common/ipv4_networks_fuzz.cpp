// Any text parses without reading out of bounds. An address that parses
// prints back as the very text it came from (one spelling per address, so
// that a check comparing addresses cannot be passed by another spelling),
// and a parsed network holds no bits outside its mask.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/ipv4_address.h"
#include "common/ipv4_networks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  if (auto address = ParseIpv4Address(input); address && FormatIpv4Address(*address) != input)
    std::abort();
  if (auto networks = ParseIpv4Networks(input)) {
    for (const Ipv4Network& network : *networks)
      if ((network.address & ~network.mask) != 0) std::abort();
  }
  return 0;
}
