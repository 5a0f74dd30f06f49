#include "server/processing/database_tool_calls.h"

#include <sys/wait.h>

#include "server/base/run_console_app.h"

namespace {

// `record`'s exit code when some lines were refused: the others are
// recorded. The worker hands it only contacts it takes, so this is rare.
constexpr int kSomeLinesRefused = 3;
// Every ledgerix exits with 2 on a command line it does not know.
constexpr int kUsageError = 2;

bool ExitedWith(int wait_status, int code) {
  return wait_status != -1 && WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == code;
}

ToolRunResult Outcome(const char* mode, bool ran, int wait_status,
                      const platform::StopCheck& stop) {
  ToolRunResult result;
  if (!ran && stop && stop()) {
    result.status = ToolRun::kStopped;
  } else if (!ran) {
    result.problem = std::string("ledgerix ") + mode + " could not be started";
  } else if (platform::EndedWithSuccess(wait_status)) {
    result.status = ToolRun::kRecorded;
  } else {
    result.problem = std::string("ledgerix ") + mode + " ended with " +
                     platform::DescribeWaitStatus(wait_status);
  }
  return result;
}

}  // namespace

std::vector<std::string> ContactArguments(const std::string& user, const std::string& computer,
                                          const std::string& ip) {
  // Mode 6 names the tool without ".exe", mode 7 with it; the program
  // search finds the same tool for both.
  return {"ledgerix", "6", user, computer, ip};
}

std::string ContactLines(const std::vector<AgentContact>& contacts) {
  std::string lines;
  for (const AgentContact& c : contacts) {
    lines.append(c.user).append("\t").append(c.computer).append("\t").append(c.ip).append("\n");
  }
  return lines;
}

ToolRunResult RecordContactInfo(const std::string& user, const std::string& computer,
                                const std::string& ip, const platform::StopCheck& stop) {
  int status = -1;
  bool ran = RunConsoleApp(ContactArguments(user, computer, ip), kToolOutputCapacity, stop, &status)
                 .has_value();
  return Outcome("6", ran, status, stop);
}

ToolRunResult RecordContacts(const std::vector<AgentContact>& contacts,
                             const platform::StopCheck& stop) {
  const std::string input = ContactLines(contacts);
  int status = -1;
  bool ran = RunConsoleApp({"ledgerix", "record"}, kToolOutputCapacity, stop, &status, {}, &input)
                 .has_value();
  if (ran && ExitedWith(status, kUsageError)) return {ToolRun::kUnknownMode, ""};
  if (ran && ExitedWith(status, kSomeLinesRefused)) return {ToolRun::kRecorded, ""};
  return Outcome("record", ran, status, stop);
}
