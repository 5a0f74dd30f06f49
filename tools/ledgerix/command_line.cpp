#include "tools/ledgerix/command_line.h"

#include "common/report_table.h"

namespace {

LedgerixMode ModeOf(ReportKind kind) {
  return kind == ReportKind::kActivity ? LedgerixMode::kActivityReport
                                       : LedgerixMode::kFilterReport;
}

std::string Joined(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text += (text.empty() ? "" : " ") + arg;
  return text;
}

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
  if (args.size() == 1 && args[0] == "record") {
    command.mode = LedgerixMode::kRecordContacts;
    return command;
  }
  if ((args.size() == 1 || args.size() == 2) && args[0] == "migrate") {
    command.mode = LedgerixMode::kMigrate;
    if (args.size() == 2) command.file = args[1];
    return command;
  }
  if (args.size() == 1 && args[0] == "7") {
    command.mode = LedgerixMode::kListContacts;
    return command;
  }
  if (args.size() == 4 && args[0] == "user") {
    std::optional<PeriodBounds> days = BoundsOfDays(args[2], args[3]);
    if (!days) return std::nullopt;
    command.mode = LedgerixMode::kUserReport;
    command.user = args[1];
    command.days = *days;
    return command;
  }
  if ((args.size() == 2 || args.size() == 3) && args[0] == "who") {
    command.mode = LedgerixMode::kWho;
    command.ip = args[1];
    if (args.size() == 3 && !(command.when = ParseLocalMinute(args[2]))) return std::nullopt;
    return command;
  }
  // The report scheduler passes exactly the table's arguments; anything else
  // is a mistake worth reporting rather than a report to guess at.
  if (const ReportEntry* report = FindReportEntry(args)) {
    command.mode = ModeOf(report->kind);
    command.period = report->period;
    return command;
  }
  return std::nullopt;
}

std::string LedgerixUsage() {
  std::string usage =
      "usage: ledgerix 6 <user> <computer> <ip> | record (<user>TAB<computer>TAB<ip> lines on "
      "standard input) | 7";
  for (ReportKind kind : {ReportKind::kActivity, ReportKind::kFilter}) {
    for (const ReportEntry& report : ReportTable())
      if (report.kind == kind) usage += " | " + Joined(report.ledgerix_args);
  }
  return usage +
         " | user <name> <from YYYY-MM-DD> <to YYYY-MM-DD> | who <ip> [\"YYYY-MM-DD HH:MM\"] |"
         " migrate [FILE]\n";
}
