// The request worker's call of the database tool that hands it a contact
// (mode 6). It waits until the tool has ended, or until `stop` says stop
// (see platform/process.h: a stop ends a running tool and starts none). The
// refresh of the IP log from the tool's list (mode 7) is shared with the
// log importer: server/base/refresh_ip_log.h. Called on the request
// worker's thread (any thread may call it).
#ifndef SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_
#define SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_

#include <string>
#include <vector>

#include "platform/process.h"

// The mode-6 arguments: ledgerix 6 <user> <computer> <ip>, each value one
// argument exactly as given, whatever it holds.
std::vector<std::string> ContactArguments(const std::string& user, const std::string& computer,
                                          const std::string& ip);

// False when `stop` kept the tool from running to its end. The tool's
// output and exit code are not used.
bool RecordContactInfo(const std::string& user, const std::string& computer, const std::string& ip,
                       const platform::StopCheck& stop = {});

#endif  // SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_
