// The web activity of a period, as the activity reports show it: the
// totals, the busiest sites and every user's own figures. One pass over the
// period's Web rows, user by user (index on user then time); memory grows
// with the number of distinct sites and users, not with the rows.
//
// Throws std::exception when the database fails. Same threading rules as
// the database object.
#ifndef SERVER_DB_READ_ACTIVITY_OF_PERIOD_H_
#define SERVER_DB_READ_ACTIVITY_OF_PERIOD_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "server/db/activity_database.h"
#include "server/db/report_rows.h"

struct UserActivityOfPeriod {
  UserLabel user;
  int64_t requests = 0;               // the sum of `size` over the user's rows
  int64_t site_count = 0;             // distinct sites
  std::vector<NamedCount> top_sites;  // busiest first, ties by address
};

struct ActivityOfPeriod {
  int64_t requests = 0;
  int64_t site_count = 0;                   // distinct sites over all users
  std::vector<NamedCount> top_sites;        // over all users, busiest first
  std::vector<UserActivityOfPeriod> users;  // every user with rows, busiest
                                            // first, ties by name
};

// Web rows with from <= time < to. `top` bounds both lists of sites.
ActivityOfPeriod ReadActivityOfPeriod(ActivityDatabase& db, int64_t from, int64_t to, size_t top);

#endif  // SERVER_DB_READ_ACTIVITY_OF_PERIOD_H_
