// Copying a whole activity database into another, e.g. an install's
// "webfilter.dbs" into the PostgreSQL database it moves to: every row of
// every table with its id (so references stay right), the record of
// imported logs included, in one transaction of the target. A target that
// already holds rows is refused, so nothing is mixed or counted twice.
//
// Same threading rules as the database objects.
#ifndef SERVER_DB_COPY_ACTIVITY_DATABASE_H_
#define SERVER_DB_COPY_ACTIVITY_DATABASE_H_

#include <cstdint>
#include <string>

#include "server/db/activity_database.h"

struct CopiedActivity {
  int64_t users = 0;
  int64_t web = 0;
  int64_t filter = 0;
  int64_t imported_logs = 0;
};

// False with `error` saying why when the target holds rows or a database
// fails (the target is then left as it was).
bool CopyActivityDatabase(ActivityDatabase& from, ActivityDatabase& to, CopiedActivity* copied,
                          std::string* error);

#endif  // SERVER_DB_COPY_ACTIVITY_DATABASE_H_
