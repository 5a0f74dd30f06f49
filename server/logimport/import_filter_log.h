// ImportFilterLog: moves the previous day's filter log into the activity
// database as FilterActivity rows. Runs on the log importer's thread.
#ifndef SERVER_LOGIMPORT_IMPORT_FILTER_LOG_H_
#define SERVER_LOGIMPORT_IMPORT_FILTER_LOG_H_

#include <cstdint>
#include <string>

#include "server/db/activity_database.h"

struct FilterImportResult {
  enum class Status {
    kNoFile,    // no filter log for the day, or another opener holds it
    kImported,  // every storable line stored and the file deleted
    kFailed,    // nothing stored; the file stays in place
  };
  Status status = Status::kNoFile;
  int stored = 0;   // rows written
  int dropped = 0;  // lines without a user name, of unknown users, or too long
  std::string error;
};

// Reads "Logs/Filter_DD_MM_YYYY.log" under `install_path` for the local day
// before `now`. Lines for users without a User row are dropped; every other
// line becomes one row. The whole file is stored in one transaction and the
// file is deleted only after that commit, so a failure (read or database)
// leaves the database unchanged and the file in place.
FilterImportResult ImportFilterLog(ActivityDatabase& db, const std::string& install_path,
                                   int64_t now);

#endif  // SERVER_LOGIMPORT_IMPORT_FILTER_LOG_H_
