#include "server/processing/database_tool_calls.h"

#include "common/install_path.h"
#include "server/base/event_log.h"
#include "server/base/ip_log_files.h"
#include "server/base/run_console_app.h"
#include "server/processing/contact_list.h"

std::vector<std::string> ContactArguments(const std::string& user, const std::string& computer,
                                          const std::string& ip) {
  // Mode 6 names the tool without ".exe", mode 7 with it; the program
  // search finds the same tool for both.
  return {"ledgerix", "6", user, computer, ip};
}

void RecordContactInfo(const std::string& user, const std::string& computer, const std::string& ip,
                       const platform::StopCheck& stop) {
  // The output and the tool's success are not used.
  RunConsoleApp(ContactArguments(user, computer, ip), kToolOutputCapacity, stop);
}

void RefreshIpLog(const platform::StopCheck& stop) {
  std::string install = ReadInstallPath();
  std::optional<std::string> output =
      RunConsoleApp({"ledgerix.exe", "7"}, kToolOutputCapacity, stop);
  if (!output) return;  // the runner has said why; the last list stays
  std::string error;
  if (!WriteIpLogFiles(install, ParseContactList(*output), &error)) {
    WriteEventLog("Error in RefreshIpLog: %s", error.c_str());
  }
}
