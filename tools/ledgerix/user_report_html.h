// The report on one user over a period, as a whole HTML page in the look of
// the mails (ledgerix user NAME FROM TO): the user's figures, every site
// with its requests, busiest first, and the filter events, newest first.
// Nothing is cut while the page fits in kUserPageBytes; past that the
// tables stop and one line says how much was left out. Mail-safe HTML only
// (see html_parts.h). Pure function; any thread.
#ifndef TOOLS_LEDGERIX_USER_REPORT_HTML_H_
#define TOOLS_LEDGERIX_USER_REPORT_HTML_H_

#include <cstddef>
#include <string>

#include "server/db/read_user_activity.h"
#include "tools/ledgerix/activity_chart.h"
#include "tools/ledgerix/contact_history.h"

inline constexpr size_t kUserPageBytes = 1024 * 1024;
// Events read at most: more rows than this cannot fit in the page (a row
// takes at least 56 bytes).
inline constexpr size_t kUserEventsRead = 20000;

struct UserReport {
  std::string name;
  std::string period;  // "1 December 2026 to 7 December 2026"
  UserActivity activity;
  std::vector<ChartColumn> requests_per_day = {};  // empty for a single day
  std::vector<ChartColumn> events_per_day = {};    // likewise
  std::vector<ChartColumn> events_per_hour = {};   // likewise
  // Where the user reported from in the period (the contact history).
  std::vector<ContactInterval> stays = {};
  bool stays_withheld = false;  // names are withheld: say so instead
};

std::string RenderUserReport(const UserReport& report);

#endif  // TOOLS_LEDGERIX_USER_REPORT_HTML_H_
