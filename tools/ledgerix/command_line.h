// The command lines that ledgerix accepts.
//
//   ledgerix 6 <user> <computer> <ip>   record a contact
//   ledgerix 7                          list the contacts
//   ledgerix 1 1 0 0 | 1 2 2 0 | 1 7 2 0  activity report: previous day,
//                                        previous seven days, previous month
//   ledgerix 4 1 | 4 2 | 4 7            filter report, same periods
//
// Report arguments must match one of those strings exactly. Plain values;
// any thread.
#ifndef TOOLS_LEDGERIX_COMMAND_LINE_H_
#define TOOLS_LEDGERIX_COMMAND_LINE_H_

#include <optional>
#include <string>
#include <vector>

#include "tools/ledgerix/report_period.h"

enum class LedgerixMode { kRecordContact, kListContacts, kActivityReport, kFilterReport };

struct LedgerixCommand {
  LedgerixMode mode = LedgerixMode::kListContacts;
  ReportPeriod period = ReportPeriod::kPreviousDay;  // report modes only
  std::string user;                                  // kRecordContact only
  std::string computer;
  std::string ip;
};

// `args` are the arguments after the program name; nullopt when they match
// no command line above.
std::optional<LedgerixCommand> ParseLedgerixCommand(const std::vector<std::string>& args);

// The one-line usage text (ends in a line feed).
const char* LedgerixUsage();

#endif  // TOOLS_LEDGERIX_COMMAND_LINE_H_
