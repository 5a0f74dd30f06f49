#include "tools/ledgerix/report_csv.h"

#include "server/db/visit_filter_events_of_period.h"
#include "server/db/visit_user_sites_of_period.h"
#include "tools/ledgerix/csv_text.h"

namespace {

void AppendSites(const UserLabel& user, const std::vector<NamedCount>& sites, std::string* csv) {
  for (const NamedCount& site : sites)
    AppendCsvRecord({user.name, user.ip, user.computer, site.name, std::to_string(site.count)},
                    csv);
}

}  // namespace

std::string ActivityCsv(ActivityDatabase& db, const PeriodBounds& days, const ReportNames& names) {
  std::string csv;
  AppendCsvRecord({"user", "address", "computer", "site", "requests"}, &csv);
  VisitUserSitesOfPeriod(db, days.begin, days.end,
                         [&](const UserLabel& user, const std::vector<NamedCount>& sites) {
                           AppendSites(names.Show(user), sites, &csv);
                         });
  return csv;
}

std::string FilterCsv(ActivityDatabase& db, const PeriodBounds& days, const ReportNames& names) {
  std::string csv;
  AppendCsvRecord({"time", "user", "address", "site", "action"}, &csv);
  VisitFilterEventsOfPeriod(
      db, days.begin, days.end,
      [&](const UserLabel& user, int64_t time, std::string_view url, std::string_view action) {
        const UserLabel shown = names.Show(user);
        AppendCsvRecord({FormatLocalTime(time), shown.name, shown.ip, url, action}, &csv);
      });
  return csv;
}

std::string UserCsv(const std::string& name, const UserActivity& activity,
                    const ReportNames& names) {
  UserLabel user{name, "", ""};
  if (!activity.labels.empty()) {
    user.ip = activity.labels.back().ip;
    user.computer = activity.labels.back().computer;
  }
  std::string csv;
  AppendCsvRecord({"user", "address", "computer", "site", "requests"}, &csv);
  AppendSites(names.Show(user), activity.sites, &csv);
  return csv;
}
