// The command lines that ledgerix accepts.
//
//   ledgerix 6 <user> <computer> <ip>   record a contact
//   ledgerix record                     record the contacts on standard
//                                       input, one per line (user, computer
//                                       and address separated by tabs), as
//                                       one `6` each, in one transaction
//   ledgerix 7                          list the contacts, then the
//                                       activity database's users without one
//   ledgerix <report arguments>         an activity or filter report
//   ledgerix user <name> <from> <to> [--csv]
//                                       the report on one user over the days
//                                       from..to (YYYY-MM-DD, inclusive)
//   ledgerix report activity|filter <from> <to> [--csv] [--sites a,b]
//                                       the whole network's report of those
//                                       days; --sites: one report over those
//                                       PostgreSQL schemas
//   ledgerix pseudonym <name>           the name's pseudonym in the reports
//   ledgerix unmask <pseudonym>         the user names behind a pseudonym
//   ledgerix who <ip> [<when>]          who was at the address at that local
//                                       time ("YYYY-MM-DD HH:MM", default now)
//   ledgerix migrate [FILE]             copy a SQLite activity database
//                                       (default: the install folder's
//                                       webfilter.dbs) into the configured
//                                       PostgreSQL database
//
// Report arguments must match the arguments of one entry of the report
// table (common/report_table.h) exactly: 1 1 0 0 | 1 2 2 0 | 1 7 2 0 for
// the activity report on the previous day, seven days and month, 4 1 | 4 2 |
// 4 7 for the filter report on the same periods. Plain values; any thread.
#ifndef TOOLS_LEDGERIX_COMMAND_LINE_H_
#define TOOLS_LEDGERIX_COMMAND_LINE_H_

#include <optional>
#include <string>
#include <vector>

#include "tools/ledgerix/report_period.h"

enum class LedgerixMode {
  kRecordContact,
  kRecordContacts,
  kListContacts,
  kActivityReport,
  kFilterReport,
  kUserReport,
  kWho,
  kMigrate,
  kPseudonym,
  kUnmask
};

// The longest period `report FROM TO` covers, in days.
inline constexpr int kMaxReportDays = 400;

struct LedgerixCommand {
  LedgerixMode mode = LedgerixMode::kListContacts;
  ReportPeriod period = ReportPeriod::kPreviousDay;  // report modes only
  std::string user;                                  // kRecordContact, kUserReport
  std::string computer;
  std::string ip;               // kRecordContact, kWho
  std::string file;             // kMigrate only; empty: the install folder's webfilter.dbs
  PeriodBounds days;            // kUserReport only
  std::optional<int64_t> when;  // kWho: nullopt means now
  // kActivityReport, kFilterReport: the days of `report FROM TO` (then
  // `days` holds them) rather than the scheduled period.
  bool any_period = false;
  bool csv = false;                // --csv: the figures as CSV
  std::vector<std::string> sites;  // --sites: PostgreSQL schemas, in order
  std::string pseudonym;           // kUnmask
  // Set when the words name a command but a value is wrong (a bad date, a
  // period too long): the one line to print, then exit 1.
  std::string problem;
};

// `args` are the arguments after the program name; nullopt when they match
// no command line above.
std::optional<LedgerixCommand> ParseLedgerixCommand(const std::vector<std::string>& args);

// The one-line usage text (ends in a line feed).
std::string LedgerixUsage();

#endif  // TOOLS_LEDGERIX_COMMAND_LINE_H_
