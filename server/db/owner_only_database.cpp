#include "server/db/owner_only_database.h"

#include "platform/files.h"

void MakeDatabaseOwnerOnly(const std::string& path, bool create) {
  if (path.empty() || path == ":memory:") return;  // SQLite's names of no file
  platform::MakeOwnerOnly(path, create);
  // Existing ones only: SQLite makes new ones with the database's mode.
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    platform::MakeOwnerOnly(path + suffix, false);
  }
}
