#include "server/reports/due_reports.h"

namespace {

constexpr int kFriday = 5;  // tm_wday counts from Sunday = 0

bool DayConditionHolds(ReportPeriod period, const std::optional<std::tm>& local) {
  switch (period) {
    case ReportPeriod::kPreviousDay:
      return true;
    case ReportPeriod::kPreviousWeek:
      return local && local->tm_wday == kFriday;
    case ReportPeriod::kPreviousMonth:
      return local && local->tm_mday == 1;
  }
  return false;
}

}  // namespace

std::vector<const ReportEntry*> DueReports(const ReportConfig& config,
                                           const std::optional<std::tm>& local) {
  std::vector<const ReportEntry*> due;
  const std::vector<ReportEntry>& table = ReportTable();
  for (size_t i = 0; i < table.size() && i < config.switches.size(); ++i) {
    if (config.switches[i] == 1 && DayConditionHolds(table[i].period, local)) {
      due.push_back(&table[i]);
    }
  }
  return due;
}
