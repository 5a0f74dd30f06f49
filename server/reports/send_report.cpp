#include "server/reports/send_report.h"

#include "platform/process.h"
#include "server/processing/run_console_app.h"
#include "server/base/event_log.h"

std::string NotifierCommandLine(const std::string& address) {
  return "Notivo.exe " + platform::QuoteArgument(address) + " dbdata 1";
}

void SendReport(const ReportEntry& report, const std::string& report_file,
                const std::string& address) {
  std::vector<std::string> argv = {"ledgerix.exe"};
  argv.insert(argv.end(), report.ledgerix_args.begin(), report.ledgerix_args.end());
  std::string error;
  int exit_status = 0;
  if (!platform::RunToFile(argv, report_file, &exit_status, &error)) {
    // Mailing whatever an earlier run left would pass it off as today's.
    WriteEventLog("The %s report was not sent: %s", report.name, error.c_str());
    return;
  }
  RunConsoleApp(NotifierCommandLine(address), kNotifierOutputCapacity);
}
