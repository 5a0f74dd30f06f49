// The e-mail reports: for each, the switch that turns it on, the period it
// covers and the arguments ledgerix is given to write it. The report
// scheduler runs ledgerix with exactly these arguments, and ledgerix
// accepts exactly these as report command lines, so both read them here.
//
// To add a report: add its switch to the settings table, its row below, and
// what ledgerix does for a new kind or period. Plain constants; any thread.
#ifndef COMMON_REPORT_TABLE_H_
#define COMMON_REPORT_TABLE_H_

#include <string>
#include <vector>

#include "common/settings.h"

// Each period ends at the start of the day (or month) the report is made on.
enum class ReportPeriod { kPreviousDay, kPreviousWeek, kPreviousMonth };

enum class ReportKind { kActivity, kFilter };

// One report's entry in the table.
struct ReportEntry {
  const char* name;  // "daily activity", for messages
  ReportKind kind;
  ReportPeriod period;
  const Setting* enabled_by;               // its switch; on only when exactly 1
  std::vector<std::string> ledgerix_args;  // after the program name
};

// The table, in the order one report hour produces them: daily activity
// first, monthly filter last.
const std::vector<ReportEntry>& ReportTable();

// The entry whose arguments are exactly `ledgerix_args`; nullptr otherwise.
const ReportEntry* FindReportEntry(const std::vector<std::string>& ledgerix_args);

#endif  // COMMON_REPORT_TABLE_H_
