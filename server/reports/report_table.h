// The six e-mail reports, in the order one report hour produces them.
#ifndef SERVER_REPORTS_REPORT_TABLE_H_
#define SERVER_REPORTS_REPORT_TABLE_H_

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "server/reports/report_config.h"

enum class ReportPeriod { kDaily, kWeekly, kMonthly };

struct ReportSpec {
  const char* name;                 // for messages
  uint32_t ReportConfig::*enabled;  // its switch; on only when exactly 1
  ReportPeriod period;
  std::vector<std::string> tool_argv;  // the database tool and its arguments
};

// The table, daily activity first, monthly filter last.
const std::vector<ReportSpec>& ReportTable();

// The reports of ReportTable whose switch is 1 and whose day condition holds
// on `local` (weekly: Friday; monthly: the first of the month), in table
// order. Without a local time only the daily reports can be due.
std::vector<const ReportSpec*> DueReports(const ReportConfig& config,
                                          const std::optional<std::tm>& local);

#endif  // SERVER_REPORTS_REPORT_TABLE_H_
