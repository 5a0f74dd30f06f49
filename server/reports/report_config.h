// The e-mail worker's configuration, read afresh on every pass.
#ifndef SERVER_REPORTS_REPORT_CONFIG_H_
#define SERVER_REPORTS_REPORT_CONFIG_H_

#include <cstdint>
#include <string>

struct ReportConfig {
  std::string report_time;     // "ReportTime": the report hour as decimal text
  std::string email_address;   // "EmailAddress" as stored (scrambled)
  std::string apppath;         // "apppath": the install folder
  uint32_t daily = 0;          // "RegDaily"
  uint32_t day_filter = 0;     // "RegDayFilter"
  uint32_t weekly = 0;         // "RegWeekly"
  uint32_t week_filter = 0;    // "RegWeekFilter"
  uint32_t monthly = 0;        // "RegMonthly"
  uint32_t month_filter = 0;   // "RegMonFilter"
};

// The nine values, each through a reader of its own; a missing value gives
// empty text or 0. Callable from any thread.
ReportConfig ReadReportConfig();

#endif  // SERVER_REPORTS_REPORT_CONFIG_H_
