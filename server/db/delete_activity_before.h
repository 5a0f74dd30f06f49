// Removal of old activity: Web and FilterActivity rows whose time lies
// before a cutoff. User, Ip and Computer rows stay. The rows go in batches
// of at most `batch_rows`, each in a transaction of its own, so other
// connections wait for the writer only as long as one batch takes; SQLite
// keeps the freed pages and later inserts reuse them, so a file whose old
// rows are removed every night stops growing.
//
// Throws std::exception when the database fails (the batches committed
// before stay removed). Same threading rules as the database object; must
// not be called inside a transaction.
#ifndef SERVER_DB_DELETE_ACTIVITY_BEFORE_H_
#define SERVER_DB_DELETE_ACTIVITY_BEFORE_H_

#include <cstddef>
#include <cstdint>
#include <functional>

#include "server/db/activity_database.h"

inline constexpr size_t kDeleteBatchRows = 20000;

// Removes the rows with time < `cutoff`. `go_on` is asked before every
// batch after the first; false stops early (what is removed stays removed).
DeletedActivity DeleteActivityBefore(ActivityDatabase& db, int64_t cutoff,
                                     size_t batch_rows = kDeleteBatchRows,
                                     const std::function<bool()>& go_on = nullptr);

#endif  // SERVER_DB_DELETE_ACTIVITY_BEFORE_H_
