// The reports kept in the install folder: every report the scheduler has
// produced is also saved as "reports/YYYY-MM-DD-<kind>.html" (the local day
// it was sent, the report's name with dashes, such as "daily-activity"), a
// whole page in the look of the mail, and "reports/index.html" lists them,
// newest first, with a link to each. Every file is replaced whole through
// the atomic file writer, so a browser never reads half a page. The night's
// retention removes the days older than KeepDays.
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

// "2027-01-01-daily-activity.html" for `report` sent at `sent` (local day).
std::string KeptReportName(const ReportEntry& report, int64_t sent);

// Saves the report's HTML (what ledgerix wrote, the mail's body) as a page
// under `install_path` (ending in "/"), making the folder when missing, then
// rewrites the index. False with `error` set when a file could not be
// written.
bool KeepReport(const std::string& install_path, const ReportEntry& report, int64_t sent,
                const std::string& report_html, std::string* error);

// Removes the kept reports of days that begin before `cutoff` (seconds since
// 1970) and rewrites the index when one went; returns how many went.
int RemoveKeptReportsBefore(const std::string& install_path, int64_t cutoff);

#endif  // SERVER_BASE_KEPT_REPORTS_H_
