// The SQLite connection of an open ActivityDatabase, for the operations in
// this folder that hold the schema's SQL (report reads, removal of old
// rows). Nothing outside server/db includes this header: every query on the
// activity tables is written down here. Same threading rules as the
// database object.
#ifndef SERVER_DB_DATABASE_ACCESS_H_
#define SERVER_DB_DATABASE_ACCESS_H_

#include <SQLiteCpp/SQLiteCpp.h>

#include "server/db/activity_database.h"

class ActivityDatabaseAccess {
 public:
  // Throws std::runtime_error when `db` is not open.
  static SQLite::Database& Connection(ActivityDatabase& db);
};

#endif  // SERVER_DB_DATABASE_ACCESS_H_
