#include "server/reports/report_table.h"

namespace {

constexpr int kFriday = 5;  // tm_wday counts from Sunday = 0

bool DayConditionHolds(ReportPeriod period, const std::optional<std::tm>& local) {
  switch (period) {
    case ReportPeriod::kDaily:
      return true;
    case ReportPeriod::kWeekly:
      return local && local->tm_wday == kFriday;
    case ReportPeriod::kMonthly:
      return local && local->tm_mday == 1;
  }
  return false;
}

}  // namespace

const std::vector<ReportSpec>& ReportTable() {
  static const std::vector<ReportSpec> table = {
      {"daily activity", &ReportConfig::daily, ReportPeriod::kDaily,
       {"ledgerix.exe", "1", "1", "0", "0"}},
      {"daily filter", &ReportConfig::day_filter, ReportPeriod::kDaily,
       {"ledgerix.exe", "4", "1"}},
      {"weekly activity", &ReportConfig::weekly, ReportPeriod::kWeekly,
       {"ledgerix.exe", "1", "2", "2", "0"}},
      {"weekly filter", &ReportConfig::week_filter, ReportPeriod::kWeekly,
       {"ledgerix.exe", "4", "2"}},
      {"monthly activity", &ReportConfig::monthly, ReportPeriod::kMonthly,
       {"ledgerix.exe", "1", "7", "2", "0"}},
      {"monthly filter", &ReportConfig::month_filter, ReportPeriod::kMonthly,
       {"ledgerix.exe", "4", "7"}},
  };
  return table;
}

std::vector<const ReportSpec*> DueReports(const ReportConfig& config,
                                          const std::optional<std::tm>& local) {
  std::vector<const ReportSpec*> due;
  for (const ReportSpec& report : ReportTable()) {
    if (config.*report.enabled == 1 && DayConditionHolds(report.period, local)) {
      due.push_back(&report);
    }
  }
  return due;
}
