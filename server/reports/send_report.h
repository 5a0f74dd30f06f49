// Producing one report with the database tool and sending it with Notivo.
// Called on the e-mail worker's thread.
#ifndef SERVER_REPORTS_SEND_REPORT_H_
#define SERVER_REPORTS_SEND_REPORT_H_

#include <string>
#include <vector>

#include "common/report_table.h"
#include "platform/process.h"

// Notivo's arguments: Notivo.exe <address> dbdata 1, the address always
// one argument exactly as given. `address` must not be empty.
std::vector<std::string> NotifierArguments(const std::string& address);

// Runs ledgerix with the report's arguments, its standard output on
// `report_file` (emptied first), and waits for it; when the tool ended with
// exit code 0, runs Notivo through RunConsoleApp and discards its output.
// Both run in `folder` (empty: this process's current folder), where
// `report_file` is "dbdata". A report that is
// not sent, because a program could not be started, ended with another
// status or was ended by `stop`, gets one event-log line naming it; Notivo
// is never run on a report that its tool did not finish. True when the tool
// wrote the report, whether or not Notivo then sent it; `sent` (when given)
// says whether Notivo did.
bool SendReport(const ReportEntry& report, const std::string& folder,
                const std::string& report_file, const std::string& address,
                const platform::StopCheck& stop = {}, bool* sent = nullptr);

#endif  // SERVER_REPORTS_SEND_REPORT_H_
