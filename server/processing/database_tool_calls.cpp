#include "server/processing/database_tool_calls.h"

#include <vector>

#include "common/install_path.h"
#include "platform/process.h"
#include "server/processing/contact_list.h"
#include "server/processing/ip_log_files.h"
#include "server/processing/run_console_app.h"
#include "server/base/event_log.h"

std::string ContactCommandLine(const std::string& user, const std::string& computer,
                               const std::string& ip) {
  std::string line = "ledgerix 6 \"" + user + "\" \"" + computer + "\" " + ip;
  // The text comes from the network: only use the plain form when it
  // splits back to exactly the intended arguments.
  const std::vector<std::string> wanted = {"ledgerix", "6", user, computer, ip};
  if (platform::SplitCommandLine(line) == wanted) return line;
  return "ledgerix 6 " + platform::QuoteArgument(user) + " " + platform::QuoteArgument(computer) +
         " " + platform::QuoteArgument(ip);
}

void RecordContactInfo(std::string user, std::string computer, std::string ip) {
  // The output and the tool's success are not used.
  RunConsoleApp(ContactCommandLine(user, computer, ip), kToolOutputCapacity);
}

void RefreshIpLog() {
  std::string install = ReadInstallPath();
  std::optional<std::string> output = RunConsoleApp("ledgerix.exe 7", kToolOutputCapacity);
  if (!output) return;  // the runner has said why; the last list stays
  std::string error;
  if (!WriteIpLogFiles(install, ParseContactList(*output), &error)) {
    WriteEventLog("Error in RefreshIpLog: %s", error.c_str());
  }
}
