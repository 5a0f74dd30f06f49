// The request worker's two calls of the database tool: handing it a
// contact (mode 6) and rewriting the IP log and the size file from its
// list of contacts (mode 7). Both wait until the tool has ended, or until
// `stop` says stop (see platform/process.h: a stop ends a running tool and
// starts none). Called on the request worker's thread (any thread may call
// them).
#ifndef SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_
#define SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_

#include <string>
#include <vector>

#include "platform/process.h"

// The mode-6 arguments: ledgerix 6 <user> <computer> <ip>, each value one
// argument exactly as given, whatever it holds.
std::vector<std::string> ContactArguments(const std::string& user, const std::string& computer,
                                          const std::string& ip);

void RecordContactInfo(const std::string& user, const std::string& computer, const std::string& ip,
                       const platform::StopCheck& stop = {});

// When the tool cannot be started, or is stopped, the previous files stay;
// otherwise both files are replaced whole (through WriteIpLogFiles) with the
// listed rows.
void RefreshIpLog(const platform::StopCheck& stop = {});

#endif  // SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_
