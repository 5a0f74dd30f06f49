// Producing one report with the database tool and sending it with Notivo.
// Called on the e-mail worker's thread.
#ifndef SERVER_REPORTS_SEND_REPORT_H_
#define SERVER_REPORTS_SEND_REPORT_H_

#include <string>

#include "common/report_table.h"

// "Notivo.exe <address> dbdata 1", the address always one argument (quoted
// only when it holds blanks or quotes). `address` must not be empty.
std::string NotifierCommandLine(const std::string& address);

// Runs ledgerix with the report's arguments, its standard output on
// `report_file` (emptied first), and waits for it; then runs Notivo through RunConsoleApp and
// discards its output. When the tool cannot be started Notivo is not run
// and one event-log line says why. The tool's exit status is not examined.
void SendReport(const ReportEntry& report, const std::string& report_file,
                const std::string& address);

#endif  // SERVER_REPORTS_SEND_REPORT_H_
