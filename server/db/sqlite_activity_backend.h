// SqliteActivityBackend: the activity tables in the embedded SQLite file
// "webfilter.dbs" (WAL journal, busy timeout). Opening a missing file
// creates it with its tables; the schema version is kept in PRAGMA
// user_version and older files are brought up to date.
//
// The relation arrays (users of a Computer or an Ip, webs and filter
// activity of a User) are not stored: they are answered by indexed queries
// on the single-reference columns, so they can never disagree.
//
// One object owns one connection and its prepared statements; one thread at
// a time. Several objects (in one or several processes) may have the same
// file open; writers wait for each other up to the busy timeout.
#ifndef SERVER_DB_SQLITE_ACTIVITY_BACKEND_H_
#define SERVER_DB_SQLITE_ACTIVITY_BACKEND_H_

#include <memory>
#include <string>

#include "server/db/activity_backend.h"

// Opens `path` (created and brought up to date unless `read_only`); nullptr
// with `error` set when it cannot be opened, is not an activity database
// (read only) or holds a schema newer than this program knows.
std::unique_ptr<ActivityBackend> OpenSqliteActivityBackend(const std::string& path, bool read_only,
                                                           std::string* error);

#endif  // SERVER_DB_SQLITE_ACTIVITY_BACKEND_H_
