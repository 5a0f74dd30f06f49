#include "common/report_table.h"

const std::vector<ReportEntry>& ReportTable() {
  using K = ReportKind;
  using P = ReportPeriod;
  static const std::vector<ReportEntry> table = {
      {"daily activity", K::kActivity, P::kPreviousDay, &setting::kRegDaily, {"1", "1", "0", "0"}},
      {"daily filter", K::kFilter, P::kPreviousDay, &setting::kRegDayFilter, {"4", "1"}},
      {"weekly activity",
       K::kActivity,
       P::kPreviousWeek,
       &setting::kRegWeekly,
       {"1", "2", "2", "0"}},
      {"weekly filter", K::kFilter, P::kPreviousWeek, &setting::kRegWeekFilter, {"4", "2"}},
      {"monthly activity",
       K::kActivity,
       P::kPreviousMonth,
       &setting::kRegMonthly,
       {"1", "7", "2", "0"}},
      {"monthly filter", K::kFilter, P::kPreviousMonth, &setting::kRegMonFilter, {"4", "7"}},
  };
  return table;
}

const ReportEntry* FindReportEntry(const std::vector<std::string>& ledgerix_args) {
  for (const ReportEntry& entry : ReportTable())
    if (entry.ledgerix_args == ledgerix_args) return &entry;
  return nullptr;
}
