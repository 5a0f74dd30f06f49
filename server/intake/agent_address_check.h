// The test behind AgentAddressCheck, for networks without address
// translation between the agents and the server: a report may be recorded
// only when its <ip> value is the address it came from. Pure function; any
// thread.
#ifndef SERVER_INTAKE_AGENT_ADDRESS_CHECK_H_
#define SERVER_INTAKE_AGENT_ADDRESS_CHECK_H_

#include <cstdint>
#include <optional>
#include <string>

// True when `report` names a full contact whose IP address is `sender`
// (host byte order). A report without one, or from an address not known,
// names no one it could be recorded for.
bool ReportNamesItsSender(const std::string& report, std::optional<uint32_t> sender);

#endif  // SERVER_INTAKE_AGENT_ADDRESS_CHECK_H_
