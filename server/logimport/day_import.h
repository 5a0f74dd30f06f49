// DayImport: what the import of one day's logs works with. Filled by the
// night's import for each day in turn; used on the log importer's thread.
#ifndef SERVER_LOGIMPORT_DAY_IMPORT_H_
#define SERVER_LOGIMPORT_DAY_IMPORT_H_

#include <cstdint>
#include <functional>
#include <string>

#include "server/db/activity_database.h"
#include "server/formats/log_names.h"
#include "server/logimport/night_summary.h"

struct DayImport {
  ActivityDatabase& db;     // open
  std::string logs_folder;  // ends in "/" or is empty
  LogDate day;              // the day the logs cover
  int64_t now;              // when the night's import began
  // Asked before each file (the worker pauses there); false ends the
  // import early (the worker is stopping). Empty: never.
  std::function<bool()> keep_going;
  // Asked now and then within a long file; true ends the import early.
  // Empty: never.
  std::function<bool()> stop_requested;
  // Called after each commit, before the committed logs are deleted; only
  // tests use it, to widen that window. Empty: nothing.
  std::function<void()> after_commit;
  NightSummary& summary;

  bool KeepGoing() const { return !keep_going || keep_going(); }
  bool StopRequested() const { return stop_requested && stop_requested(); }
  void AfterCommit() const {
    if (after_commit) after_commit();
  }
  std::string PathOf(const std::string& name) const { return logs_folder + name; }
};

#endif  // SERVER_LOGIMPORT_DAY_IMPORT_H_
