// The reports as HTML fragments, to sit inside the mail template where it
// holds "@logip@". Each opens with an overview of its period, then has a
// section per user, busiest first, each cut to what matters; every cut is
// said in one line ("... and 740 more users"). Whatever the period and the
// network, a report stays well under 1 MB: the lists have fixed lengths,
// texts are cut, and sections stop at a byte budget. Mail-safe HTML only
// (see html_parts.h). Pure functions; any thread.
#ifndef TOOLS_LEDGERIX_REPORT_HTML_H_
#define TOOLS_LEDGERIX_REPORT_HTML_H_

#include <cstddef>
#include <string>

#include "tools/ledgerix/report_model.h"

inline constexpr size_t kTopInOverview = 10;  // users, sites, blocked sites
inline constexpr size_t kSitesPerUser = 10;
inline constexpr size_t kEventsPerUser = 20;  // the latest
inline constexpr size_t kActionsListed = 10;  // in the overview; 5 per user
inline constexpr size_t kUsersListed = 100;   // sections
// The user sections stop before the fragment would pass this size.
inline constexpr size_t kSectionBudgetBytes = 800 * 1024;

std::string RenderActivityReport(const ActivityReport& report);
std::string RenderFilterReport(const FilterReport& report);

#endif  // TOOLS_LEDGERIX_REPORT_HTML_H_
