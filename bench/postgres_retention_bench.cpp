// Retention on PostgreSQL: one day removed from a year of a 1,000-user
// network, as the night after a year of imports does with KeepDays 365.
//
// Fills a fresh schema of the server that QUORVANE_BENCH_POSTGRES names
// (e.g. the throw-away one of tests/pg_cluster.py) with 365 days of 1,000
// users: 30 Web rows per user and day (10.95M rows) and 3,000 filter events
// a day (1.1M), day after day as the nightly imports append them, made by
// the server itself (generate_series) to save the time of sending them;
// then VACUUM ANALYZE, as autovacuum would have done over the year. Times
// DeleteActivityBefore with the cutoff after the first day, through the
// project's own store. Usage: postgres_retention_bench [days]
#include <libpq-fe.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "server/db/activity_database.h"
#include "server/db/delete_activity_before.h"

namespace {

constexpr int kUsers = 1000;
constexpr int kWebPerUserAndDay = 30;
constexpr int kFilterPerDay = 3000;
constexpr int64_t kFirstDay = 1767225600;  // 2026-01-01 00:00 UTC

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Run(PGconn* conn, const std::string& sql) {
  PGresult* result = PQexec(conn, sql.c_str());
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  if (!ok) std::fprintf(stderr, "%s\n%s", sql.c_str(), PQresultErrorMessage(result));
  PQclear(result);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int days = argc > 1 ? std::atoi(argv[1]) : 365;
  const char* server = std::getenv("QUORVANE_BENCH_POSTGRES");
  if (!server) {
    std::fprintf(stderr,
                 "postgres_retention_bench: set QUORVANE_BENCH_POSTGRES to a connection string "
                 "(python3 tests/pg_cluster.py start FOLDER writes one to FOLDER/connection)\n");
    return 2;
  }
  const std::string schema = "retention_bench_" + std::to_string(std::time(nullptr));
  const std::string connection = std::string(server) + " options=-csearch_path=" + schema;
  ActivityDatabase db;
  std::string error;
  if (!db.Open(ActivityLocation{"", connection}, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  PGconn* conn = PQconnectdb(connection.c_str());
  const auto filling = std::chrono::steady_clock::now();
  const std::string day_start = std::to_string(kFirstDay) + " + d * 86400";
  const bool filled =
      Run(conn,
          "INSERT INTO \"User\"(user_name, active) SELECT 'user' || u, 1"
          " FROM generate_series(1, " +
              std::to_string(kUsers) + ") u") &&
      Run(conn,
          "INSERT INTO \"Web\"(url, size, time, users) SELECT 'host' || ((g * 7 + d) % "
          "20000) || '.example', 1 + g % 120, " +
              day_start + " + 5, 1 + g % " + std::to_string(kUsers) + " FROM generate_series(0, " +
              std::to_string(days - 1) + ") d, generate_series(0, " +
              std::to_string(kUsers * kWebPerUserAndDay - 1) + ") g") &&
      Run(conn,
          "INSERT INTO \"FilterActivity\"(url, time, action, users) SELECT 'host' || (g % "
          "700) || '.example/page', " +
              day_start + " + g * 28, 'blocked', 1 + g % " + std::to_string(kUsers) +
              " FROM generate_series(0, " + std::to_string(days - 1) + ") d, generate_series(0, " +
              std::to_string(kFilterPerDay - 1) + ") g") &&
      Run(conn, "VACUUM ANALYZE");
  PQfinish(conn);
  if (!filled) return 1;
  std::printf("%d days of %d users: %lld Web and %lld FilterActivity rows, made in %.0f s\n", days,
              kUsers, static_cast<long long>(days) * kUsers * kWebPerUserAndDay,
              static_cast<long long>(days) * kFilterPerDay, Since(filling));

  const auto removing = std::chrono::steady_clock::now();
  const DeletedActivity removed = DeleteActivityBefore(db, kFirstDay + 86400);
  const double seconds = Since(removing);
  std::printf(
      "removal of the oldest day: %lld Web and %lld FilterActivity rows in %.2f s; "
      "goal: under 1 s\n",
      static_cast<long long>(removed.web), static_cast<long long>(removed.filter), seconds);
  conn = PQconnectdb(server);
  Run(conn, "SET client_min_messages = warning");
  Run(conn, "DROP SCHEMA " + schema + " CASCADE");
  PQfinish(conn);
  return removed.web == kUsers * kWebPerUserAndDay && removed.filter == kFilterPerDay ? 0 : 1;
}
