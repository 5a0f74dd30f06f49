// Every filter event of a period with its user, for exports that list all
// of them (the CSV of a filter report): one pass over the period's
// FilterActivity rows, user by user (index on user then time), each user's
// newest first. Nothing is kept between rows.
//
// Throws std::exception when the database fails. Same threading rules as
// the database object.
#ifndef SERVER_DB_VISIT_FILTER_EVENTS_OF_PERIOD_H_
#define SERVER_DB_VISIT_FILTER_EVENTS_OF_PERIOD_H_

#include <cstdint>
#include <functional>
#include <string_view>

#include "server/db/activity_database.h"
#include "server/db/report_rows.h"

// One call per event; a row without a user comes with an empty label.
using FilterEventVisitor = std::function<void(const UserLabel& user, int64_t time,
                                              std::string_view url, std::string_view action)>;

// FilterActivity rows with from <= time < to.
void VisitFilterEventsOfPeriod(ActivityDatabase& db, int64_t from, int64_t to,
                               const FilterEventVisitor& visit);

#endif  // SERVER_DB_VISIT_FILTER_EVENTS_OF_PERIOD_H_
