// The files of an SQLite database made owner-only before SQLite opens
// them: SQLite creates a database with the umask's mode and its "-wal" and
// "-shm" with the database's, so a database made by hand (umask 022) would
// be readable by everyone who may pass through its folder.
#ifndef SERVER_DB_OWNER_ONLY_DATABASE_H_
#define SERVER_DB_OWNER_ONLY_DATABASE_H_

#include <string>

// The database at `path` (created empty, which SQLite takes as a new
// database, when missing and `create` is set) and the companions it has
// are left mode 0600 or narrower; an earlier, wider mode is tightened.
void MakeDatabaseOwnerOnly(const std::string& path, bool create);

#endif  // SERVER_DB_OWNER_ONLY_DATABASE_H_
