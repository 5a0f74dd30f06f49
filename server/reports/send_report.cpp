#include "server/reports/send_report.h"

#include <ctime>
#include <optional>

#include "server/base/event_log.h"
#include "server/base/run_console_app.h"
#include "server/base/run_tool_program.h"
#include "server/base/server_metrics.h"

namespace {

void ReportNotSent(const ReportEntry& report, const std::string& why) {
  WriteEventLog(EventPriority::kWarning, "The %s report was not sent: %s", report.name,
                why.c_str());
  server_metrics::ReportNotSent(report.name);
}

// Runs the tool; true when it wrote the report and ended with success.
bool ProduceReport(const ReportEntry& report, const std::string& folder,
                   const std::string& report_file, const platform::StopCheck& stop) {
  platform::ProgramRun run;
  run.argv = {"ledgerix.exe"};
  run.argv.insert(run.argv.end(), report.ledgerix_args.begin(), report.ledgerix_args.end());
  run.output = platform::OutputTo::kFile;
  run.output_path = report_file;
  run.folder = folder;
  run.stop = stop;
  const platform::ProgramResult result = RunToolProgram(run);
  switch (result.status) {
    case platform::SpawnStatus::kOk:
      break;
    case platform::SpawnStatus::kStopped:
      ReportNotSent(report, "the server is stopping");
      return false;
    default:
      // Mailing whatever an earlier run left would pass it off as today's.
      ReportNotSent(report, result.error);
      return false;
  }
  if (platform::EndedWithSuccess(result.exit_status)) return true;
  // A report the tool could not produce would arrive as an empty mail that
  // looks like a quiet day.
  ReportNotSent(report, "ledgerix ended with " + platform::DescribeWaitStatus(result.exit_status));
  return false;
}

}  // namespace

std::vector<std::string> NotifierArguments(const std::string& address) {
  return {"Notivo.exe", address, "dbdata", "1"};
}

bool SendReport(const ReportEntry& report, const std::string& folder,
                const std::string& report_file, const std::string& address,
                const platform::StopCheck& stop, bool* sent) {
  if (sent) *sent = false;
  if (!ProduceReport(report, folder, report_file, stop)) return false;
  int exit_status = -1;
  std::optional<std::string> output = RunConsoleApp(
      NotifierArguments(address), kNotifierOutputCapacity, stop, &exit_status, folder);
  if (!output) {
    ReportNotSent(report,
                  stop && stop() ? "the server is stopping" : "Notivo could not be started");
  } else if (!platform::EndedWithSuccess(exit_status)) {
    ReportNotSent(report, "Notivo ended with " + platform::DescribeWaitStatus(exit_status));
  } else {
    server_metrics::ReportSent(report.name, std::time(nullptr));
    if (sent) *sent = true;
  }
  return true;
}
