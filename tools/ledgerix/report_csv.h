// The reports' figures as CSV (see csv_text.h), with a header row:
//   activity:       user,address,computer,site,requests (one record per
//                   user and site, users in the database's order, each
//                   user's sites busiest first)
//   filter events:  time,user,address,site,action (local time, each user's
//                   newest first)
// Every user and site of the period is listed: nothing is cut. Users are
// shown as `names` says (pseudonyms without address and computer when
// names are withheld). Throws std::exception when the database fails.
#ifndef TOOLS_LEDGERIX_REPORT_CSV_H_
#define TOOLS_LEDGERIX_REPORT_CSV_H_

#include <string>

#include "server/db/activity_database.h"
#include "server/db/read_user_activity.h"
#include "tools/ledgerix/report_names.h"
#include "tools/ledgerix/report_period.h"

std::string ActivityCsv(ActivityDatabase& db, const PeriodBounds& days, const ReportNames& names);
std::string FilterCsv(ActivityDatabase& db, const PeriodBounds& days, const ReportNames& names);
// One user's sites, as ActivityCsv lists them; the address and computer of
// the name's latest User row.
std::string UserCsv(const std::string& name, const UserActivity& activity,
                    const ReportNames& names);

#endif  // TOOLS_LEDGERIX_REPORT_CSV_H_
