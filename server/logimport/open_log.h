// Opening one log of the logs folder for the import, on the log importer's
// thread. The folder is written by other accounts, so what lies under a
// log's name may be anything: only a regular file is read, and nothing
// else can hold the night up.
#ifndef SERVER_LOGIMPORT_OPEN_LOG_H_
#define SERVER_LOGIMPORT_OPEN_LOG_H_

#include <cstdint>
#include <string>

#include "platform/files.h"
#include "server/logimport/day_import.h"

// Past this a log is not read: a day of one user's requests or of the
// filter's events is a few MiB, and a sparse file costs its writer no disk
// while reading it would hold up the night, the reports and a stop.
inline constexpr int64_t kMaxLogBytes = int64_t{1} << 30;  // 1 GiB
// A log longer than this with less than a sixteenth of it on disk is mostly
// holes: no agent writes one (a compressing file system saves far less on
// Base64 text).
inline constexpr int64_t kMinSparseLogBytes = int64_t{16} << 20;

// True with `file` open and locked. Otherwise the log is left in the folder
// and in the night's summary, with why: a link, a pipe or a device (never
// followed or waited for), a file held by another program or unreadable,
// or one past the bounds above.
bool OpenLog(DayImport& import, const std::string& name, platform::ExclusiveFile* file);

#endif  // SERVER_LOGIMPORT_OPEN_LOG_H_
