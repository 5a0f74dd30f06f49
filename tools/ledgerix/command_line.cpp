#include "tools/ledgerix/command_line.h"

#include <algorithm>

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

// Takes the options "--csv" and "--sites LIST" (where `sites_allowed`)
// out of `args`; false on an option given twice, without its value or not
// allowed here.
bool TakeOptions(std::vector<std::string>* args, bool sites_allowed, LedgerixCommand* command) {
  std::vector<std::string> rest;
  bool sites_given = false;
  for (size_t i = 0; i < args->size(); ++i) {
    const std::string& arg = (*args)[i];
    if (arg == "--csv") {
      if (command->csv) return false;
      command->csv = true;
    } else if (arg == "--sites" && sites_allowed) {
      if (sites_given || i + 1 >= args->size()) return false;
      sites_given = true;
      const std::string& list = (*args)[++i];
      size_t start = 0;
      while (start <= list.size()) {
        size_t comma = std::min(list.find(',', start), list.size());
        command->sites.push_back(list.substr(start, comma - start));
        start = comma + 1;
      }
    } else {
      rest.push_back(arg);
    }
  }
  *args = std::move(rest);
  return true;
}

// The days from..to of a report, or the line that says what is wrong.
bool TakeDays(const std::string& from, const std::string& to, LedgerixCommand* command) {
  std::optional<PeriodBounds> first = BoundsOfDays(from, from), last = BoundsOfDays(to, to);
  if (!first || !last) {
    command->problem = "ledgerix: " + (first ? to : from) + " is not a date (YYYY-MM-DD)";
    return false;
  }
  if (last->begin < first->begin) {
    command->problem = "ledgerix: the period starts on " + from + ", after its end " + to;
    return false;
  }
  command->days = {first->begin, last->end};
  if (DaysIn(command->days) > kMaxReportDays) {
    command->problem = "ledgerix: a report covers at most " + std::to_string(kMaxReportDays) +
                       " days; " + from + " to " + to + " is " +
                       std::to_string(DaysIn(command->days));
    return false;
  }
  return true;
}

// "report activity|filter FROM TO" with its options.
std::optional<LedgerixCommand> ParseAnyPeriod(std::vector<std::string> args) {
  LedgerixCommand command;
  if (!TakeOptions(&args, true, &command) || args.size() != 4 ||
      (args[1] != "activity" && args[1] != "filter"))
    return std::nullopt;
  for (const std::string& site : command.sites) {
    if (site.empty()) return std::nullopt;
  }
  if (command.csv && !command.sites.empty()) return std::nullopt;  // one site's rows at a time
  command.mode =
      args[1] == "activity" ? LedgerixMode::kActivityReport : LedgerixMode::kFilterReport;
  command.any_period = true;
  TakeDays(args[2], args[3], &command);
  return command;
}

}  // namespace

std::optional<LedgerixCommand> ParseLedgerixCommand(const std::vector<std::string>& args) {
  LedgerixCommand command;
  if (!args.empty() && args[0] == "report") return ParseAnyPeriod(args);
  if (args.size() == 2 && (args[0] == "pseudonym" || args[0] == "unmask")) {
    command.mode = args[0] == "pseudonym" ? LedgerixMode::kPseudonym : LedgerixMode::kUnmask;
    (args[0] == "pseudonym" ? command.user : command.pseudonym) = args[1];
    return command;
  }
  if (!args.empty() && args[0] == "user" && args.size() == 5) {
    std::vector<std::string> rest = args;
    if (!TakeOptions(&rest, false, &command) || !command.csv) return std::nullopt;
    std::optional<LedgerixCommand> user = ParseLedgerixCommand(rest);
    if (user) user->csv = true;
    return user;
  }
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
         " | user <name> <from YYYY-MM-DD> <to YYYY-MM-DD> [--csv]"
         " | report activity|filter <from YYYY-MM-DD> <to YYYY-MM-DD> [--csv] [--sites a,b]"
         " | who <ip> [\"YYYY-MM-DD HH:MM\"] | migrate [FILE] | pseudonym <name>"
         " | unmask <pseudonym>\n";
}
