// The activity of one user over a period, for the report on that user
// alone: every site with its requests, and the user's filter events. The
// name may have several User rows (other writers of the file may add
// them); the rows of all of them count. Reads through the (users, time)
// index of each activity table, so the cost grows with the user's own rows.
//
// Throws std::exception when the database fails. Same threading rules as
// the database object.
#ifndef SERVER_DB_READ_USER_ACTIVITY_H_
#define SERVER_DB_READ_USER_ACTIVITY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "server/db/activity_database.h"
#include "server/db/report_rows.h"

struct UserActivity {
  std::vector<UserLabel> labels;          // one per User row of the name, in id order
  int64_t requests = 0;                   // the sum of `size` over the period's Web rows
  std::vector<NamedCount> sites;          // every site, busiest first, ties by address
  int64_t events = 0;                     // filter events of the period
  std::vector<NamedCount> actions;        // every action, most frequent first, ties by name
  std::vector<FilterActivityRow> latest;  // newest first, at most `latest` of them
};

// Rows with from <= time < to of the users named `user_name`.
UserActivity ReadUserActivity(ActivityDatabase& db, const std::string& user_name, int64_t from,
                              int64_t to, size_t latest);

#endif  // SERVER_DB_READ_USER_ACTIVITY_H_
