#include "tools/ledgerix/command_line.h"

namespace {

struct ReportLine {
  std::vector<std::string> args;
  LedgerixMode mode;
  ReportPeriod period;
};

// The report scheduler passes exactly these strings; anything else is a
// mistake worth reporting rather than a report to guess at.
const ReportLine kReportLines[] = {
    {{"1", "1", "0", "0"}, LedgerixMode::kActivityReport, ReportPeriod::kPreviousDay},
    {{"1", "2", "2", "0"}, LedgerixMode::kActivityReport, ReportPeriod::kPreviousWeek},
    {{"1", "7", "2", "0"}, LedgerixMode::kActivityReport, ReportPeriod::kPreviousMonth},
    {{"4", "1"}, LedgerixMode::kFilterReport, ReportPeriod::kPreviousDay},
    {{"4", "2"}, LedgerixMode::kFilterReport, ReportPeriod::kPreviousWeek},
    {{"4", "7"}, LedgerixMode::kFilterReport, ReportPeriod::kPreviousMonth},
};

}  // namespace

std::optional<LedgerixCommand> ParseLedgerixCommand(const std::vector<std::string>& args) {
  LedgerixCommand command;
  if (args.size() == 4 && args[0] == "6") {
    command.mode = LedgerixMode::kRecordContact;
    command.user = args[1];
    command.computer = args[2];
    command.ip = args[3];
    return command;
  }
  if (args.size() == 1 && args[0] == "7") {
    command.mode = LedgerixMode::kListContacts;
    return command;
  }
  for (const ReportLine& line : kReportLines) {
    if (args == line.args) {
      command.mode = line.mode;
      command.period = line.period;
      return command;
    }
  }
  return std::nullopt;
}

const char* LedgerixUsage() {
  return "usage: ledgerix 6 <user> <computer> <ip> | 7 | 1 1 0 0 | 1 2 2 0 | 1 7 2 0 | "
         "4 1 | 4 2 | 4 7\n";
}
