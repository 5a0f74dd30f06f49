// Fresh activity stores for tests, of either kind, so one suite runs
// against both: SQLite in a temporary file, PostgreSQL in a schema of its
// own on the throw-away server that CTest starts (the fixture
// tests/pg_cluster.py; QUORVANE_TEST_POSTGRES names its folder, holding
// "connection" or, where PostgreSQL is missing, "skipped" with the
// reason). Header only; no program links it.
#ifndef SERVER_DB_ACTIVITY_STORE_FOR_TESTING_H_
#define SERVER_DB_ACTIVITY_STORE_FOR_TESTING_H_

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>

#include "server/db/activity_database.h"
#include "server/db/activity_location.h"

enum class StoreKind { kSqlite, kPostgres };

inline const char* StoreKindName(StoreKind kind) {
  return kind == StoreKind::kSqlite ? "Sqlite" : "Postgres";
}

// The test server's connection string (without a schema), or "" with
// `reason` saying why there is none.
inline std::string TestPostgresConnection(std::string* reason) {
  const char* folder = std::getenv("QUORVANE_TEST_POSTGRES");
  if (!folder || !*folder) {
    *reason = "QUORVANE_TEST_POSTGRES is not set (ctest sets it; see tests/pg_cluster.py)";
    return "";
  }
  std::string line;
  std::ifstream connection(std::string(folder) + "/connection");
  if (std::getline(connection, line) && !line.empty()) return line;
  std::ifstream skipped(std::string(folder) + "/skipped");
  std::getline(skipped, line);
  *reason = line.empty() ? std::string("the test PostgreSQL server did not start") : line;
  return "";
}

// Where a new, empty store of `kind` lives for one test: for SQLite a file
// in `folder`; for PostgreSQL a schema no other test uses. "" with `reason`
// set when PostgreSQL is not available (a skip, but a failure under
// CI=true: the caller decides, see SkipOrFailWithoutPostgres).
inline ActivityLocation FreshTestStore(StoreKind kind, const std::string& folder,
                                       std::string* reason) {
  if (kind == StoreKind::kSqlite) return {folder + ActivityDatabase::kFileName, ""};
  const std::string server = TestPostgresConnection(reason);
  if (server.empty()) return {};
  static std::atomic<int> counter{0};
  const std::string schema = "test_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  return {"", server + " options=-csearch_path=" + schema};
}

// In a test body: skips (or under CI=true fails) when `location` is empty.
#define SKIP_OR_FAIL_WITHOUT_POSTGRES(location, reason)                                 \
  do {                                                                                  \
    if ((location).file.empty() && (location).connection.empty()) {                     \
      const char* ci = std::getenv("CI");                                               \
      if (ci && std::string(ci) == "true") FAIL() << "PostgreSQL under CI: " << reason; \
      GTEST_SKIP() << reason;                                                           \
    }                                                                                   \
  } while (0)

#endif  // SERVER_DB_ACTIVITY_STORE_FOR_TESTING_H_
