// One run of the database tool: the command line parsed, the mode carried
// out, the output collected. main.cpp only gathers the settings and writes
// the collected texts to standard output and standard error, so a run that
// fails leaves standard output empty.
//
// Settings:
//   install folder   setting::kAppPath
//   contact window   setting::kContactWindowHours (hours a contact stays
//                    active after its last report; 0 also means the default)
//   contact keeping  setting::kContactKeepDays (days a contact stays listed
//                    after its last report; 0 also means the default)
//   activity store   setting::kActivityDatabase (empty: webfilter.dbs;
//                    else the PostgreSQL database the reports read and
//                    migrate copies into)
//   pseudonyms       setting::kReportPseudonyms (1: reports show users as
//                    pseudonyms, see report_names.h)
// Files in the install folder: "contacts.dbs" (the contacts, read and
// written) and "webfilter.dbs" (the activity database, only read; before
// the first nightly import there is none, and a report covers no activity).
#ifndef TOOLS_LEDGERIX_LEDGERIX_RUN_H_
#define TOOLS_LEDGERIX_LEDGERIX_RUN_H_

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "common/settings.h"
#include "platform/clock.h"

struct LedgerixSettings {
  std::string install_path;  // "" or ending in "/"
  int64_t now = 0;           // seconds since 1970
  int64_t contact_window_seconds = int64_t{DefaultNumber(setting::kContactWindowHours)} * 3600;
  int64_t contact_keep_seconds = int64_t{DefaultNumber(setting::kContactKeepDays)} * 86400;
  std::string activity_database;  // the value ActivityDatabase; "" for the file
  bool pseudonyms = false;        // ReportPseudonyms is 1
};

// Reads the settings above from the registry file; `clock` gives now.
LedgerixSettings ReadLedgerixSettings(const platform::Clock& clock);

// Exit codes: 0 done, 1 no install folder is configured, a file could not
// be used or the contact was refused (`record`: nothing was recorded), 2
// unknown command line, 3 (`record` only) the other contacts were
// recorded but some lines were refused. `out` gets the output only on
// success; `err` gets messages, one per line. `input` is read by `record`
// alone (none: no contacts).
int RunLedgerix(const std::vector<std::string>& args, const LedgerixSettings& settings,
                std::string* out, std::string* err, std::istream* input = nullptr);

// The most that `record` reads: far above what the server hands it (the
// 10,000 reports its queue holds).
inline constexpr size_t kMaxRecordInputBytes = size_t{64} << 20;

#endif  // TOOLS_LEDGERIX_LEDGERIX_RUN_H_
