// The report over several sites that share one PostgreSQL database (one
// schema each; ledgerix report activity|filter FROM TO --sites a,b): an
// overview with a row per site and the totals, then each site's busiest
// users. As mail-safe and bounded as the one-site reports (html_parts.h).
// Pure functions; any thread.
#ifndef TOOLS_LEDGERIX_SITES_REPORT_HTML_H_
#define TOOLS_LEDGERIX_SITES_REPORT_HTML_H_

#include <cstdint>
#include <string>
#include <vector>

#include "server/db/report_rows.h"

// What the report shows of one site.
struct SiteFigures {
  std::string site;                   // the schema
  std::vector<NamedCount> figures;    // "Requests", "Users", "Sites" (or the filter's)
  std::vector<NamedCount> top_users;  // names already HTML, busiest first
};

struct SitesReport {
  std::string title;          // "Activity report of 2 sites"
  std::string period;         // "1 November 2026 to 30 November 2026"
  std::string users_heading;  // "Top 10 users"
  std::string count_heading;  // "Requests"
  std::vector<SiteFigures> sites;
  // Per figure, whether it adds up over the sites (requests do; distinct
  // sites do not, as two sites' users visit the same web sites).
  std::vector<bool> summed;
};

std::string RenderSitesReport(const SitesReport& report);

#endif  // TOOLS_LEDGERIX_SITES_REPORT_HTML_H_
