// Which of the e-mail reports (common/report_table.h) one report hour sends.
// Pure function; any thread.
#ifndef SERVER_REPORTS_DUE_REPORTS_H_
#define SERVER_REPORTS_DUE_REPORTS_H_

#include <ctime>
#include <optional>
#include <vector>

#include "common/report_table.h"
#include "server/reports/report_config.h"

// The reports whose switch is 1 and whose day condition holds on `local`
// (weekly: Friday; monthly: the first of the month), in table order.
// Without a local time only the daily reports can be due.
std::vector<const ReportEntry*> DueReports(const ReportConfig& config,
                                           const std::optional<std::tm>& local);

#endif  // SERVER_REPORTS_DUE_REPORTS_H_
