// ImportDailyLogs: the scan of the previous day's per-user daily logs. For
// each "DD_MM_YYYY_<user>_<address>" file in the logs folder it totals the
// lines per key in the site table, stores them for the file's user and
// deletes the file; after the scan, when any file was imported, it rewrites
// the IP log and the size file from the database.
// Runs on the log importer's thread.
#ifndef SERVER_LOGIMPORT_IMPORT_DAILY_LOGS_H_
#define SERVER_LOGIMPORT_IMPORT_DAILY_LOGS_H_

#include <functional>
#include <string>

#include "platform/clock.h"
#include "server/db/activity_database.h"
#include "server/logimport/site_table.h"

struct DailyImportContext {
  ActivityDatabase& db;      // open
  std::string install_path;  // ends in "/" or is empty
  const platform::Clock& clock;
  // Called before each file; false ends the scan (the worker is stopping).
  std::function<bool()> pause;
  CSiteTable& sites;
  // The user name and address of the file being imported (kept afterwards).
  std::string& current_user;
  std::string& current_address;
};

struct DailyImportStats {
  int imported = 0;  // stored and deleted (or left when deletion failed)
  int skipped = 0;   // held open by another program; left in place
  int failed = 0;    // read or store failed; left in place, nothing stored
  int ip_log_failures = 0;
};

// A file is deleted only once its totals are committed; a failure in one
// file leaves it in place and the scan goes on with the next one.
DailyImportStats ImportDailyLogs(DailyImportContext& context);

#endif  // SERVER_LOGIMPORT_IMPORT_DAILY_LOGS_H_
