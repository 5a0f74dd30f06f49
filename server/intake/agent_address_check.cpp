#include "server/intake/agent_address_check.h"

#include "common/ipv4_address.h"
#include "server/formats/extract_contact_info.h"

bool ReportNamesItsSender(const std::string& report, std::optional<uint32_t> sender) {
  std::string user, computer, ip;
  if (!sender || ExtractContactInfo(report, user, computer, ip) != 3) return false;
  // Compared as addresses, so that the check refuses exactly what the
  // sender could not be, whatever the spelling.
  return ParseIpv4Address(ip) == sender;
}
