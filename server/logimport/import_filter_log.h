// ImportFilterLog: one day's filter log ("Filter_DD_MM_YYYY.log") into the
// activity database as FilterActivity rows. Runs on the log importer's
// thread.
#ifndef SERVER_LOGIMPORT_IMPORT_FILTER_LOG_H_
#define SERVER_LOGIMPORT_IMPORT_FILTER_LOG_H_

#include <string>

#include "server/logimport/day_import.h"

// Lines for users without a User row are dropped; every other line becomes
// one row. The whole file and its record are stored in one transaction and
// the file is deleted only after that commit, so a failure (read or
// database) leaves the database unchanged and the file in place, listed in
// the summary. A file found in the records is deleted without being stored
// again. False when the import was stopped during the file (it stays).
bool ImportFilterLog(DayImport& import, const std::string& name);

#endif  // SERVER_LOGIMPORT_IMPORT_FILTER_LOG_H_
