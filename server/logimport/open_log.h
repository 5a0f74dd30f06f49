// Opening one log of the logs folder for the import, on the log importer's
// thread. The folder is written by other accounts, so what lies under a
// log's name may be anything: only a regular file is read, and nothing
// else can hold the night up.
#ifndef SERVER_LOGIMPORT_OPEN_LOG_H_
#define SERVER_LOGIMPORT_OPEN_LOG_H_

#include <string>

#include "platform/files.h"
#include "server/logimport/day_import.h"

// True with `file` open and locked. Otherwise the log is left in the folder
// and in the night's summary, with why: a link, a pipe or a device (never
// followed or waited for), or a file held by another program or unreadable.
bool OpenLog(DayImport& import, const std::string& name, platform::ExclusiveFile* file);

#endif  // SERVER_LOGIMPORT_OPEN_LOG_H_
