// Removal of old activity from the SQLite store: Web and FilterActivity rows
// whose time lies before a cutoff go user by user (index on user then time)
// in transactions of at most `batch_rows` rows each, so other connections
// wait for the writer only as long as one batch takes; SQLite keeps the
// freed pages and later inserts reuse them. Helper of
// sqlite_activity_backend only.
#ifndef SERVER_DB_SQLITE_DELETE_OLD_ACTIVITY_H_
#define SERVER_DB_SQLITE_DELETE_OLD_ACTIVITY_H_

#include <SQLiteCpp/SQLiteCpp.h>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "server/db/activity_rows.h"

DeletedActivity SqliteDeleteActivityBefore(SQLite::Database& db, int64_t cutoff, size_t batch_rows,
                                           const std::function<bool()>& go_on);

#endif  // SERVER_DB_SQLITE_DELETE_OLD_ACTIVITY_H_
