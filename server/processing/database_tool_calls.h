// The request worker's calls of the database tool that hand it contacts:
// one run of `ledgerix record` for many (the contacts on its standard
// input, one per line, recorded in one transaction), or `ledgerix 6` for
// one, as an older tool that does not know `record` needs. Each waits until
// the tool has ended, or until `stop` says stop (see platform/process.h: a
// stop ends a running tool and starts none). The refresh of the IP log from
// the tool's list (mode 7) is shared with the log importer:
// server/base/refresh_ip_log.h. Any thread may call them.
#ifndef SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_
#define SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_

#include <string>
#include <vector>

#include "platform/process.h"

// The three values of an agent's report.
struct AgentContact {
  std::string user;
  std::string computer;
  std::string ip;
};

// The mode-6 arguments: ledgerix 6 <user> <computer> <ip>, each value one
// argument exactly as given, whatever it holds.
std::vector<std::string> ContactArguments(const std::string& user, const std::string& computer,
                                          const std::string& ip);

// The input of `ledgerix record`: "user TAB computer TAB ip LF" per contact.
// The values must not hold a tab or a line break (ContactValueProblem
// refuses both).
std::string ContactLines(const std::vector<AgentContact>& contacts);

enum class ToolRun {
  kRecorded,     // the tool ended with success: every contact is recorded
  kUnknownMode,  // `record` only: the tool refused the command line (exit code 2)
  kFailed,       // nothing recorded: the tool failed, was killed or could not start
  kStopped,      // `stop` kept the tool from starting or ended it
};

struct ToolRunResult {
  ToolRun status = ToolRun::kFailed;
  std::string problem;  // kFailed: why, for the event log ("ledgerix 6 ended with exit code 1")
};

// One `ledgerix 6`.
ToolRunResult RecordContactInfo(const std::string& user, const std::string& computer,
                                const std::string& ip, const platform::StopCheck& stop = {});

// One `ledgerix record` for all of `contacts`, in their order.
ToolRunResult RecordContacts(const std::vector<AgentContact>& contacts,
                             const platform::StopCheck& stop = {});

#endif  // SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_
