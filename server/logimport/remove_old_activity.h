// Retention: after a night's import the log importer removes the Web and
// FilterActivity rows older than the registry value KeepDays (a number of
// days under SOFTWARE\Quorvane; missing or 0 keeps everything) and writes
// one event-log line with the number of rows removed. User, Ip and
// Computer rows stay. The kept reports of those days go too. Runs on the importer's thread.
#ifndef SERVER_LOGIMPORT_REMOVE_OLD_ACTIVITY_H_
#define SERVER_LOGIMPORT_REMOVE_OLD_ACTIVITY_H_

#include <cstdint>
#include <functional>
#include <string>

#include "server/db/activity_database.h"

// The first second that is kept: local midnight of the day `keep_days` days
// before the day of `now`, so the last `keep_days` whole days (yesterday
// and the days before) stay.
int64_t RetentionCutoff(int64_t now, uint32_t keep_days);

// Reads KeepDays and, when it is set, removes the older rows; returns how
// many went (0 when it is not set). `go_on` is asked between batches.
// Throws std::exception when the database fails.
int64_t RemoveOldActivity(ActivityDatabase& db, int64_t now,
                          const std::function<bool()>& go_on = nullptr);

// The same for the reports kept under "reports/" in `install_path`: a
// report goes with the rows of the last day it covers (the day before it
// was sent), with one event-log line when any went.
// Returns how many went.
int RemoveOldReports(const std::string& install_path, int64_t now);

#endif  // SERVER_LOGIMPORT_REMOVE_OLD_ACTIVITY_H_
