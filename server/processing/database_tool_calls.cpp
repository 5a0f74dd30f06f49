#include "server/processing/database_tool_calls.h"

#include "server/base/run_console_app.h"

std::vector<std::string> ContactArguments(const std::string& user, const std::string& computer,
                                          const std::string& ip) {
  // Mode 6 names the tool without ".exe", mode 7 with it; the program
  // search finds the same tool for both.
  return {"ledgerix", "6", user, computer, ip};
}

bool RecordContactInfo(const std::string& user, const std::string& computer, const std::string& ip,
                       const platform::StopCheck& stop) {
  if (RunConsoleApp(ContactArguments(user, computer, ip), kToolOutputCapacity, stop)) return true;
  // No output: the tool could not start (the runner said so), or a stop
  // kept it from starting or ended it.
  return !stop || !stop();
}
