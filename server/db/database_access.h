// The store behind an open ActivityDatabase, for the operations in this
// folder (report reads, removal of old rows, copying a database). Nothing
// outside server/db includes this header. Same threading rules as the
// database object.
#ifndef SERVER_DB_DATABASE_ACCESS_H_
#define SERVER_DB_DATABASE_ACCESS_H_

#include "server/db/activity_backend.h"
#include "server/db/activity_database.h"

class ActivityDatabaseAccess {
 public:
  // Throws std::runtime_error when `db` is not open.
  static ActivityBackend& Backend(ActivityDatabase& db);
};

#endif  // SERVER_DB_DATABASE_ACCESS_H_
