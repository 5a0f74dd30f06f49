// ActivityLocation: where the activity database lives. The value
// ActivityDatabase chooses: missing or empty means the SQLite file
// "webfilter.dbs" in the install folder; anything else is a PostgreSQL
// connection string ("host=db1 dbname=quorvane user=quorvane", or a
// "postgresql://" URI), whose search_path names the schema of this site.
// Plain value; any thread.
#ifndef SERVER_DB_ACTIVITY_LOCATION_H_
#define SERVER_DB_ACTIVITY_LOCATION_H_

#include <string>

struct ActivityLocation {
  std::string file;        // the SQLite file, when `connection` is empty
  std::string connection;  // the PostgreSQL connection string

  bool is_postgres() const { return !connection.empty(); }
  // For messages: the file, or the connection string without a password.
  std::string Describe() const;
};

// The location for an install folder (ending in "/" or empty) and a value
// of ActivityDatabase.
ActivityLocation ActivityLocationOf(const std::string& install_path, const std::string& value);

// The same with the value read from the configuration.
ActivityLocation ConfiguredActivityLocation(const std::string& install_path);

#endif  // SERVER_DB_ACTIVITY_LOCATION_H_
