// ImportDailyLogs: one day's per-user daily logs. For each
// "DD_MM_YYYY_<user>_<address>" log it totals the lines per key, stores the
// totals for the log's user, dated that day at the night's time of day,
// together with the log's record, and deletes the log once that is
// committed. Runs on the log importer's thread.
#ifndef SERVER_LOGIMPORT_IMPORT_DAILY_LOGS_H_
#define SERVER_LOGIMPORT_IMPORT_DAILY_LOGS_H_

#include <string>
#include <vector>

#include "server/logimport/day_import.h"

// A log whose user name or address is unusable, that another program
// holds, or that cannot be read or stored stays in place and is listed in
// the summary; the others go on. A log found in the records is deleted
// without being stored again. False when the import was stopped before
// the end of `names` (what was stored by then is committed).
bool ImportDailyLogs(DayImport& import, const std::vector<std::string>& names);

#endif  // SERVER_LOGIMPORT_IMPORT_DAILY_LOGS_H_
