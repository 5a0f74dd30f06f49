// Every user's requests per site over a period, for exports that list all
// of them (the CSV of a report): one pass over the period's Web rows, user
// by user (index on user then time), each user's sites handed over busiest
// first (ties by address) once the user's rows are summed. Memory grows
// with one user's sites, not with the rows.
//
// Throws std::exception when the database fails. Same threading rules as
// the database object.
#ifndef SERVER_DB_VISIT_USER_SITES_OF_PERIOD_H_
#define SERVER_DB_VISIT_USER_SITES_OF_PERIOD_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "server/db/activity_database.h"
#include "server/db/report_rows.h"

// Called once per user with rows (rows without a user: an empty label),
// users in the order of their ids.
using UserSitesVisitor =
    std::function<void(const UserLabel& user, const std::vector<NamedCount>& sites)>;

// Web rows with from <= time < to.
void VisitUserSitesOfPeriod(ActivityDatabase& db, int64_t from, int64_t to,
                            const UserSitesVisitor& visit);

#endif  // SERVER_DB_VISIT_USER_SITES_OF_PERIOD_H_
