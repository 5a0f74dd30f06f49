// The import's record of the logs it has stored: a log's name, size and
// content hash go into the database in the same transaction as its rows,
// so a log that is found again (the process died between the commit and
// the deletion, or someone put the file back) is deleted without being
// counted twice, while a log of the same name with other content is new.
// Runs on the log importer's thread.
#ifndef SERVER_LOGIMPORT_IMPORTED_LOGS_H_
#define SERVER_LOGIMPORT_IMPORTED_LOGS_H_

#include <cstdint>
#include <functional>
#include <string>

#include "platform/files.h"
#include "server/db/activity_database.h"
#include "server/logimport/line_reader.h"

// True when `file` (open, named `name` in the logs folder) matches a
// record. The file is hashed only when a record of its name and size
// exists. Throws std::runtime_error on a read or database failure, and
// ReadStopped when `stop_requested` says stop during the hash.
bool AlreadyImported(ActivityDatabase& db, platform::ExclusiveFile& file, const std::string& name,
                     const std::function<bool()>& stop_requested);

// Records the log; call inside the transaction that stores its rows.
void RecordImportedLog(ActivityDatabase& db, const std::string& name, const LogFileRead& read,
                       int64_t now);

#endif  // SERVER_LOGIMPORT_IMPORTED_LOGS_H_
