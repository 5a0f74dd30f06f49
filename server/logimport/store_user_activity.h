// StoreUserActivity: stores one per-user daily log's totals. Runs on the
// log importer's thread.
#ifndef SERVER_LOGIMPORT_STORE_USER_ACTIVITY_H_
#define SERVER_LOGIMPORT_STORE_USER_ACTIVITY_H_

#include <cstdint>
#include <string>

#include "server/db/activity_database.h"
#include "server/logimport/site_table.h"

// Makes sure `user_name` has a User row (a new user gets the Ip row of
// `address` and the Computer row named `user_name`, found or created, with
// active and status 1), then adds one Web row per site-table entry, every
// entry included, dated `time`. Call it inside a transaction: on a failure
// it throws (std::runtime_error) with part of it stored, and the caller
// rolls the transaction back. Returns true when the user was new.
bool StoreUserActivity(ActivityDatabase& db, const std::string& user_name,
                       const std::string& address, const CSiteTable& sites, int64_t time);

#endif  // SERVER_LOGIMPORT_STORE_USER_ACTIVITY_H_
