// What the reports show, as plain values: filled from the activity database
// by report_queries, turned into HTML by report_html.
#ifndef TOOLS_LEDGERIX_REPORT_MODEL_H_
#define TOOLS_LEDGERIX_REPORT_MODEL_H_

#include <cstdint>
#include <string>
#include <vector>

// Who a section of a report is about: the user's name with the address and
// computer the activity database holds for the user (either may be empty).
struct ReportUser {
  std::string name;
  std::string ip;
  std::string computer;
};

struct SiteCount {
  std::string url;
  int64_t count = 0;
};

struct UserActivity {
  ReportUser user;
  int64_t total = 0;             // all requests of the user in the period
  std::vector<SiteCount> sites;  // the busiest sites, busiest first
  int64_t other_sites = 0;       // how many sites did not make the list
};

struct FilterEvent {
  int64_t time = 0;  // seconds since 1970
  std::string url;
  std::string action;
};

struct UserFilterEvents {
  ReportUser user;
  std::vector<FilterEvent> events;  // oldest first
  int64_t unlisted = 0;             // events left out to keep the mail small
};

struct ActivityReport {
  std::string title;   // "Daily activity report"
  std::string period;  // "Monday 7 December 2026"
  std::vector<UserActivity> users;
};

struct FilterReport {
  std::string title;
  std::string period;
  std::vector<UserFilterEvents> users;
};

#endif  // TOOLS_LEDGERIX_REPORT_MODEL_H_
