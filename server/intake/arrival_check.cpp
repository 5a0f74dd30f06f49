#include "server/intake/arrival_check.h"

#include <exception>

#include "common/ipv4_address.h"
#include "common/reg_value.h"
#include "server/base/event_log.h"
#include "server/base/server_metrics.h"
#include "server/formats/extract_contact_info.h"
#include "server/intake/agent_address_check.h"

namespace {

std::string SenderText(std::optional<uint32_t> sender) {
  return sender ? FormatIpv4Address(*sender) : std::string("an unknown address");
}

}  // namespace

bool CArrivalCheck::Admits(const std::string& report, std::optional<uint32_t> sender) {
  try {
    return Checks(report, sender);
  } catch (const std::exception&) {
    // Out of memory: the report is lost either way; the listener goes on.
    WriteEventLog(EventPriority::kWarning, "Error in ExtractContactInfo");
    server_metrics::ReportDropped("unreadable");
    return false;
  }
}

bool CArrivalCheck::Checks(const std::string& report, std::optional<uint32_t> sender) {
  std::string user, computer, ip;
  if (ExtractContactInfo(report, user, computer, ip) == 0) {
    server_metrics::ReportDropped("no_contact");
    nameless_.Count("Agent report from " + SenderText(sender) +
                    " refused: it names no user, computer or IP address");
    return false;
  }
  if (CRegNumberValue(setting::kAgentAddressCheck).Read() != 1) return true;
  if (ReportNamesItsSender(report, sender)) return true;
  // The report's own <ip> is not written: it is whatever the sender chose.
  server_metrics::ReportDropped("other_address");
  misaddressed_.Count("Agent report from " + SenderText(sender) +
                      " refused by AgentAddressCheck: it names another address");
  return false;
}
