// The e-mail worker's configuration, read afresh on every pass.
#ifndef SERVER_REPORTS_REPORT_CONFIG_H_
#define SERVER_REPORTS_REPORT_CONFIG_H_

#include <cstdint>
#include <string>
#include <vector>

struct ReportConfig {
  std::string report_time;         // setting::kReportTime: the hour as decimal text
  std::string email_address;       // setting::kEmailAddress as stored (scrambled)
  std::string apppath;             // setting::kAppPath: the install folder
  std::vector<uint32_t> switches;  // each report's switch, in ReportTable() order
};

// The values, each through a reader of its own; a missing value gives
// empty text or 0. Callable from any thread.
ReportConfig ReadReportConfig();

#endif  // SERVER_REPORTS_REPORT_CONFIG_H_
