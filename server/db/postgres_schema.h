// The PostgreSQL store's schema and tables: created when missing, in the
// first schema of the connection's search_path. Two servers making the same
// schema at once wait for each other (an advisory lock), so neither fails.
// Helper of postgres_activity_backend only.
#ifndef SERVER_DB_POSTGRES_SCHEMA_H_
#define SERVER_DB_POSTGRES_SCHEMA_H_

#include <string>
#include <string_view>

#include "server/db/postgres_connection.h"

// Throws std::runtime_error when the tables are missing and cannot be made.
void MakeSurePostgresTables(PgConnection& connection);

// The first entry of a search_path value, unquoted ("" for "$user").
std::string FirstSchemaOf(std::string_view search_path);

// Makes `schema` alone this connection's search_path.
void UsePostgresSchema(PgConnection& connection, const std::string& schema);

// Whether `schema` holds every table of the activity database.
bool PostgresTablesIn(PgConnection& connection, const std::string& schema);

#endif  // SERVER_DB_POSTGRES_SCHEMA_H_
