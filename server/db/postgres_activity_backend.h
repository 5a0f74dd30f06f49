// The activity tables in a PostgreSQL database, for networks whose activity
// lives on a database server. The tables, fields and meaning are those of
// the SQLite file ("Computer", "Ip", "User", "Web", "FilterActivity",
// "ImportedLog", times in seconds since 1970 UTC); they live in the first
// schema of the connection's search_path (e.g. "options=-csearch_path=
// site_a"), so several sites' servers share one database server, each in
// its own schema. The schema and its tables are created on first use.
//
// Layout: Web and FilterActivity are indexed by user then time (a user's
// rows) and carry a BRIN index on time: the nightly import appends rows
// in time order, so a few pages of summaries find a period's rows for the
// reports and the old rows for the retention at almost no cost to the
// import.
//
// Activity rows are sent with COPY: inside a transaction they are gathered
// and sent before the commit (or a read that needs them), so a night's
// million rows cost a few round trips.
//
// One object owns one connection; one thread at a time.
#ifndef SERVER_DB_POSTGRES_ACTIVITY_BACKEND_H_
#define SERVER_DB_POSTGRES_ACTIVITY_BACKEND_H_

#include <memory>
#include <string>

#include "server/db/activity_backend.h"

// Connects and makes sure of the schema and tables; nullptr with `error`
// set when the server cannot be reached or refuses.
std::unique_ptr<ActivityBackend> OpenPostgresActivityBackend(const std::string& connection,
                                                             std::string* error);

// Connects to read the tables of the schema `schema` (another site's, in
// the same database) and creates nothing; nullptr with `error` set when the
// server cannot be reached or the schema holds no tables of this product.
std::unique_ptr<ActivityBackend> OpenPostgresSiteBackend(const std::string& connection,
                                                         const std::string& schema,
                                                         std::string* error);

#endif  // SERVER_DB_POSTGRES_ACTIVITY_BACKEND_H_
