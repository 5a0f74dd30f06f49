#include "tools/ledgerix/activity_chart.h"

#include <algorithm>
#include <ctime>

#include "platform/clock.h"
#include "tools/ledgerix/html_parts.h"

namespace {

constexpr int kChartHeight = 80;  // pixels of the tallest column
// Past this many columns only every seventh day is labelled.
constexpr size_t kLabelledColumns = 40;

std::tm Local(int64_t t) {
  std::tm local{};
  if (!platform::ToLocalTime(t, &local)) local.tm_mday = 1;
  return local;
}

std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

}  // namespace

std::vector<ChartColumn> PerDay(const std::vector<int64_t>& slots, int64_t slot,
                                const PeriodBounds& bounds) {
  const std::vector<int64_t> starts = DayStarts(bounds);
  std::vector<ChartColumn> days;
  size_t next = 0;
  for (size_t day = 0; day + 1 < starts.size(); ++day) {
    ChartColumn column{std::to_string(Local(starts[day]).tm_mday),
                       DescribeDays({starts[day], starts[day + 1]}), 0};
    for (;
         next < slots.size() && bounds.begin + static_cast<int64_t>(next) * slot < starts[day + 1];
         ++next)
      column.count += slots[next];
    days.push_back(std::move(column));
  }
  return days;
}

std::vector<ChartColumn> PerHourOfDay(const std::vector<int64_t>& slots, int64_t slot,
                                      const PeriodBounds& bounds) {
  std::vector<ChartColumn> hours;
  for (int hour = 0; hour < 24; ++hour)
    hours.push_back({std::to_string(hour),
                     TwoDigits(hour) + ":00 to " + TwoDigits((hour + 1) % 24) + ":00", 0});
  for (size_t i = 0; i < slots.size(); ++i) {
    if (slots[i] == 0) continue;
    const int hour = Local(bounds.begin + static_cast<int64_t>(i) * slot).tm_hour;
    hours[static_cast<size_t>(std::clamp(hour, 0, 23))].count += slots[i];
  }
  return hours;
}

std::string ColumnChart(const std::string& heading, const std::vector<ChartColumn>& columns) {
  int64_t largest = 0;
  for (const ChartColumn& column : columns) largest = std::max(largest, column.count);
  if (largest == 0) return "";
  std::string bars, labels;
  const bool every = columns.size() <= kLabelledColumns;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ChartColumn& column = columns[i];
    const int64_t height =
        column.count == 0 ? 0 : std::max<int64_t>(1, column.count * kChartHeight / largest);
    bars += "<td valign=\"bottom\" title=\"" + EscapeHtml(column.title) + ": " +
            Thousands(column.count) + "\">";
    if (height > 0) {
      bars +=
          "<table width=\"100%\" cellpadding=\"0\" cellspacing=\"0\" border=\"0\"><tr><td "
          "height=\"" +
          std::to_string(height) + "\" bgcolor=\"#3a6ea5\"></td></tr></table>";
    }
    bars += "</td>";
    labels +=
        "<td align=\"center\">" + (every || i % 7 == 0 ? EscapeHtml(column.label) : "") + "</td>";
  }
  return SubHeading(EscapeHtml(heading) + " <small>(largest " + Thousands(largest) + ")</small>") +
         "<table width=\"100%\" cellpadding=\"0\" cellspacing=\"1\" border=\"0\" "
         "style=\"table-layout:fixed;font-family:Arial,sans-serif;font-size:9px;color:#555555\">\n"
         "<tr height=\"" +
         std::to_string(kChartHeight) + "\">" + bars + "</tr>\n<tr>" + labels + "</tr>\n</table>\n";
}
