// Puts the users of a report's figures as `names` shows them (see
// report_names.h): with names withheld, every label becomes a pseudonym
// without address and computer. The order of the users stays as read.
#ifndef TOOLS_LEDGERIX_APPLY_REPORT_NAMES_H_
#define TOOLS_LEDGERIX_APPLY_REPORT_NAMES_H_

#include "server/db/read_activity_of_period.h"
#include "server/db/read_filter_events_of_period.h"
#include "server/db/read_user_activity.h"
#include "tools/ledgerix/report_names.h"

void ApplyReportNames(const ReportNames& names, ActivityOfPeriod* activity);
void ApplyReportNames(const ReportNames& names, FilterEventsOfPeriod* events);
void ApplyReportNames(const ReportNames& names, UserActivity* activity);

#endif  // TOOLS_LEDGERIX_APPLY_REPORT_NAMES_H_
