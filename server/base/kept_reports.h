// The reports kept in the install folder: every report the scheduler has
// produced is also saved as "reports/YYYY-MM-DD-<kind>.html" (the local day
// it was produced, the report's name with dashes, such as
// "daily-activity"; "-not-sent" before ".html" when Notivo did not send
// it), a whole page in the look of the mail, and "reports/index.html" lists
// them, newest first, with a link to each, marking those not sent. Every file is replaced whole
// through the atomic file writer, so a browser never reads half a page. The night's retention
// removes the days older than KeepDays.
//
// The scheduler keeps reports, the log importer removes old ones; each call
// lists the folder afresh, so neither holds state. Callable from any thread;
// two calls at once may each rewrite the index, and the later one wins
// with a whole file.
#ifndef SERVER_BASE_KEPT_REPORTS_H_
#define SERVER_BASE_KEPT_REPORTS_H_

#include <cstdint>
#include <string>

#include "common/report_table.h"

inline constexpr char kKeptReportsFolder[] = "reports/";
inline constexpr char kReportsIndexName[] = "index.html";

// "2027-01-01-daily-activity.html" for `report` produced at `when` (local
// day), "2027-01-01-daily-activity-not-sent.html" when it was not sent.
std::string KeptReportName(const ReportEntry& report, int64_t when, bool sent = true);

// Saves the report's HTML (what ledgerix wrote, the mail's body) as a page
// under `install_path` (ending in "/"), making the folder when missing, then
// rewrites the index. False with `error` set when a file could not be
// written. A report kept again on its day replaces the earlier page, sent
// or not.
bool KeepReport(const std::string& install_path, const ReportEntry& report, int64_t when,
                const std::string& report_html, std::string* error, bool sent = true);

// Removes the kept reports of days that begin before `cutoff` (seconds since
// 1970) and rewrites the index when one went; returns how many went.
int RemoveKeptReportsBefore(const std::string& install_path, int64_t cutoff);

#endif  // SERVER_BASE_KEPT_REPORTS_H_
