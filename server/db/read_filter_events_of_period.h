// The filter events of a period, as the filter reports show them: counts
// per action, the most blocked sites and every user's own figures with the
// user's latest events. One pass over the period's FilterActivity rows,
// user by user, newest first (index on user then time).
//
// Throws std::exception when the database fails. Same threading rules as
// the database object.
#ifndef SERVER_DB_READ_FILTER_EVENTS_OF_PERIOD_H_
#define SERVER_DB_READ_FILTER_EVENTS_OF_PERIOD_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "server/db/activity_database.h"
#include "server/db/report_rows.h"

struct UserFilterEventsOfPeriod {
  UserLabel user;
  int64_t events = 0;
  std::vector<NamedCount> actions;        // most frequent first, ties by name
  std::vector<FilterActivityRow> latest;  // newest first
};

struct FilterEventsOfPeriod {
  int64_t events = 0;
  std::vector<NamedCount> actions;              // every action, most frequent first
  int64_t blocked = 0;                          // events whose action is a block
  std::vector<NamedCount> top_blocked_sites;    // most blocked first, ties by site
  std::vector<UserFilterEventsOfPeriod> users;  // most events first, ties by name
};

// FilterActivity rows with from <= time < to. `top` bounds the blocked
// sites, `latest` each user's list of events.
FilterEventsOfPeriod ReadFilterEventsOfPeriod(ActivityDatabase& db, int64_t from, int64_t to,
                                              size_t top, size_t latest);

// An action counts as a block when it starts with "block" in any case
// ("blocked", "Block"): the filter names its actions in free text.
bool IsBlockedAction(std::string_view action);

// The site of an address: what comes before the first '/' (after a scheme
// such as "http://", when there is one).
std::string_view SiteOfAddress(std::string_view url);

#endif  // SERVER_DB_READ_FILTER_EVENTS_OF_PERIOD_H_
