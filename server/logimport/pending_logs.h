// FindPendingLogs: the logs a night imports. Every per-user daily log and
// filter log in the logs folder dated before today, grouped by day, oldest
// day first, so a night that was missed (the server was down at midnight,
// a file was held, the database could not be opened) is caught up by the
// next one. Logs of today or later stay for their own night. Whatever lies
// under a log's name is listed but folders: links and pipes too, for the
// import to leave and name.
// Runs on the log importer's thread.
#ifndef SERVER_LOGIMPORT_PENDING_LOGS_H_
#define SERVER_LOGIMPORT_PENDING_LOGS_H_

#include <optional>
#include <string>
#include <vector>

#include "server/formats/log_names.h"

struct PendingDay {
  LogDate day;
  std::vector<std::string> daily_logs;  // names, in byte order
  std::optional<std::string> filter_log;
};

std::vector<PendingDay> FindPendingLogs(const std::string& logs_folder, const LogDate& today);

#endif  // SERVER_LOGIMPORT_PENDING_LOGS_H_
