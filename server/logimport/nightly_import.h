// RunNightlyImport: one night's import. Every log dated before today is
// imported, oldest day first (that day's per-user daily logs, then its
// filter log); then rows older than KeepDays days are removed
// (RemoveOldActivity) and, with the database closed, the IP log and the
// size file are refreshed through `refresh_ip_log`, whether or not anything
// was imported.
// Runs on the log importer's thread.
#ifndef SERVER_LOGIMPORT_NIGHTLY_IMPORT_H_
#define SERVER_LOGIMPORT_NIGHTLY_IMPORT_H_

#include <cstdint>
#include <functional>
#include <string>

#include "server/base/refresh_ip_log.h"
#include "server/logimport/night_summary.h"

struct NightlyImport {
  std::string install_path;              // ends in "/" or is empty
  int64_t now = 0;                       // when the night began; rows are dated at its time of day
  std::function<bool()> keep_going;      // see DayImport
  std::function<bool()> stop_requested;  // see DayImport
  std::function<void()> after_commit;    // see DayImport (tests only)
  // The refresh of the IP log from the database tool's list, the same one
  // the request worker runs (see server/base/refresh_ip_log.h); none when
  // empty.
  std::function<IpLogRefresh(std::string* problem)> refresh_ip_log;
};

// Never throws: what happened, failures included, is in the summary.
NightSummary RunNightlyImport(const NightlyImport& night);

#endif  // SERVER_LOGIMPORT_NIGHTLY_IMPORT_H_
