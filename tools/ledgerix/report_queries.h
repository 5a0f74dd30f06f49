// Reads the report figures for a period out of the activity database
// ("webfilter.dbs": tables User, Ip, Computer, Web, FilterActivity). Rows
// whose user reference is null are gathered under a user with an empty
// name. Throws std::exception when the database fails. Call from the thread
// that owns `db`.
#ifndef TOOLS_LEDGERIX_REPORT_QUERIES_H_
#define TOOLS_LEDGERIX_REPORT_QUERIES_H_

#include <cstddef>
#include <vector>

#include "tools/ledgerix/report_model.h"
#include "tools/ledgerix/report_period.h"

namespace SQLite {
class Database;
}

// Limits that keep a month's mail readable and small.
inline constexpr size_t kTopSitesPerUser = 10;
inline constexpr size_t kFilterEventsPerUser = 500;

// Per user with activity in the period: the summed request counts, the
// busiest `top_sites` sites (busiest first, ties by address). Users with
// the most requests come first, ties by name.
std::vector<UserActivity> QueryActivity(SQLite::Database& db, const PeriodBounds& period,
                                        size_t top_sites = kTopSitesPerUser);

// Per user (by name), the filter events of the period, oldest first, at
// most `max_events` listed and the rest counted.
std::vector<UserFilterEvents> QueryFilterEvents(SQLite::Database& db, const PeriodBounds& period,
                                                size_t max_events = kFilterEventsPerUser);

#endif  // TOOLS_LEDGERIX_REPORT_QUERIES_H_
