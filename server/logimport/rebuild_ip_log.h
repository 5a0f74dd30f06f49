// RebuildIpLog: rewrites the IP log and the size file from the activity
// database, one row per User in id order. Runs on the log importer's thread.
#ifndef SERVER_LOGIMPORT_REBUILD_IP_LOG_H_
#define SERVER_LOGIMPORT_REBUILD_IP_LOG_H_

#include <string>
#include <vector>

#include "server/base/ip_log_files.h"
#include "server/db/activity_database.h"

// The rows: user name, the ip of its Ip row, the computer_name of its
// Computer row (empty when the reference is null or dangling), and "1" when
// active is not 0, else "0". Throws std::runtime_error on a database failure.
std::vector<IpLogRow> ReadIpLogRows(ActivityDatabase& db);

// Reads the rows and replaces both files through WriteIpLogFiles (the lock
// shared with the request worker). When the database cannot be read the
// files are left as they were rather than emptied. False with `error` set
// on any failure.
bool RebuildIpLog(ActivityDatabase& db, const std::string& install_path, std::string* error);

#endif  // SERVER_LOGIMPORT_REBUILD_IP_LOG_H_
