#include "tools/ledgerix/apply_report_names.h"

void ApplyReportNames(const ReportNames& names, ActivityOfPeriod* activity) {
  for (UserActivityOfPeriod& user : activity->users) user.user = names.Show(user.user);
}

void ApplyReportNames(const ReportNames& names, FilterEventsOfPeriod* events) {
  for (UserFilterEventsOfPeriod& user : events->users) user.user = names.Show(user.user);
}

void ApplyReportNames(const ReportNames& names, UserActivity* activity) {
  for (UserLabel& label : activity->labels) label = names.Show(label);
}
