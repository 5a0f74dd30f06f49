// What the reports show, as plain values: the period's figures read from
// the activity database (server/db), with the title and the period in
// words; report_html turns them into HTML.
#ifndef TOOLS_LEDGERIX_REPORT_MODEL_H_
#define TOOLS_LEDGERIX_REPORT_MODEL_H_

#include <string>
#include <vector>

#include "server/db/read_activity_of_period.h"
#include "server/db/read_filter_events_of_period.h"
#include "tools/ledgerix/activity_chart.h"

struct ActivityReport {
  std::string title;   // "Daily activity report"
  std::string period;  // "Monday 7 December 2026"
  ActivityOfPeriod activity;
  std::vector<ChartColumn> per_day = {};  // requests; empty for a single day
};

struct FilterReport {
  std::string title;
  std::string period;
  FilterEventsOfPeriod events;
  std::vector<ChartColumn> per_day = {};   // empty for a single day
  std::vector<ChartColumn> per_hour = {};  // likewise
};

#endif  // TOOLS_LEDGERIX_REPORT_MODEL_H_
