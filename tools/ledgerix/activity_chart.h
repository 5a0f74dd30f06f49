// The reports' charts of how activity spread over the period: a column per
// local day or per hour of the day, drawn as table cells with background
// colours (like the bars of the count tables), so mail clients show them
// without images or scripts. Each column's cell carries its figure in a
// title ("Tuesday 3 November 2026: 1,234"), shown when pointed at. Pure
// functions; any thread.
#ifndef TOOLS_LEDGERIX_ACTIVITY_CHART_H_
#define TOOLS_LEDGERIX_ACTIVITY_CHART_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tools/ledgerix/report_period.h"

struct ChartColumn {
  std::string label;  // under the column: "3", "14"
  std::string title;  // "Tuesday 3 November 2026", "14:00 to 15:00"
  int64_t count = 0;
};

// The period's slots of `slot` seconds from bounds.begin summed per local
// day, one column per day.
std::vector<ChartColumn> PerDay(const std::vector<int64_t>& slots, int64_t slot,
                                const PeriodBounds& bounds);
// The same summed per local hour of the day: 24 columns, 0 to 23.
std::vector<ChartColumn> PerHourOfDay(const std::vector<int64_t>& slots, int64_t slot,
                                      const PeriodBounds& bounds);

// The chart under a sub-heading `heading`; empty when no column counts.
std::string ColumnChart(const std::string& heading, const std::vector<ChartColumn>& columns);

#endif  // TOOLS_LEDGERIX_ACTIVITY_CHART_H_
