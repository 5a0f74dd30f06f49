// The reads of one user name's activity on the SQLite store (see
// ActivityBackend::LabelsOfName and the three after it). Each goes through
// the (users, time) index of its table, so the cost grows with the user's
// own rows. Helpers of sqlite_activity_backend only.
#ifndef SERVER_DB_SQLITE_USER_ACTIVITY_H_
#define SERVER_DB_SQLITE_USER_ACTIVITY_H_

#include <SQLiteCpp/SQLiteCpp.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "server/db/activity_rows.h"
#include "server/db/report_rows.h"

std::vector<UserLabel> SqliteLabelsOfName(SQLite::Database& db, const std::string& user_name);
std::vector<NamedCount> SqliteSitesOfName(SQLite::Database& db, const std::string& user_name,
                                          int64_t from, int64_t to);
std::vector<NamedCount> SqliteActionsOfName(SQLite::Database& db, const std::string& user_name,
                                            int64_t from, int64_t to);
std::vector<FilterActivityRow> SqliteLatestEventsOfName(SQLite::Database& db,
                                                        const std::string& user_name, int64_t from,
                                                        int64_t to, size_t latest);

#endif  // SERVER_DB_SQLITE_USER_ACTIVITY_H_
