#include "server/db/activity_database.h"

#include <stdexcept>

#include "server/db/activity_backend.h"
#include "server/db/database_access.h"
#include "server/db/postgres_activity_backend.h"
#include "server/db/sqlite_activity_backend.h"

ActivityDatabase::ActivityDatabase() = default;
ActivityDatabase::~ActivityDatabase() { Close(); }

bool ActivityDatabase::Open(const std::string& path, std::string* error) {
  Close();
  backend_ = OpenSqliteActivityBackend(path, false, error);
  return backend_ != nullptr;
}

bool ActivityDatabase::OpenReadOnly(const std::string& path, std::string* error) {
  Close();
  backend_ = OpenSqliteActivityBackend(path, true, error);
  return backend_ != nullptr;
}

bool ActivityDatabase::Open(const ActivityLocation& location, std::string* error) {
  if (!location.is_postgres()) return Open(location.file, error);
  Close();
  backend_ = OpenPostgresActivityBackend(location.connection, error);
  return backend_ != nullptr;
}

bool ActivityDatabase::OpenReadOnly(const ActivityLocation& location, std::string* error) {
  if (!location.is_postgres()) return OpenReadOnly(location.file, error);
  return Open(location, error);
}

bool ActivityDatabase::OpenSite(const ActivityLocation& location, const std::string& schema,
                                std::string* error) {
  Close();
  if (!location.is_postgres()) {
    *error = "the sites' schemas are in PostgreSQL, and ActivityDatabase is empty";
    return false;
  }
  backend_ = OpenPostgresSiteBackend(location.connection, schema, error);
  return backend_ != nullptr;
}

void ActivityDatabase::Close() { backend_.reset(); }

bool ActivityDatabase::is_open() const { return backend_ != nullptr; }

void ActivityDatabase::CancelWhen(std::function<bool()> stop_requested) {
  backend().CancelWhen(std::move(stop_requested));
}

ActivityBackend& ActivityDatabase::backend() {
  if (!backend_) throw std::runtime_error("activity database is not open");
  return *backend_;
}

ActivityBackend& ActivityDatabaseAccess::Backend(ActivityDatabase& db) { return db.backend(); }

ActivityDatabase::Transaction::Transaction(ActivityDatabase& db) : db_(db) {
  db_.backend().Begin();
}

ActivityDatabase::Transaction::~Transaction() {
  if (!done_ && db_.is_open()) db_.backend().Rollback();
}

void ActivityDatabase::Transaction::Commit() {
  db_.backend().Commit();
  done_ = true;
}

std::optional<UserRow> ActivityDatabase::FindUser(const std::string& user_name) {
  return backend().FindUser(user_name);
}

std::optional<ComputerRow> ActivityDatabase::FindComputer(const std::string& computer_name) {
  return backend().FindComputer(computer_name);
}

std::optional<IpRow> ActivityDatabase::FindIp(const std::string& ip) {
  return backend().FindIp(ip);
}

std::optional<ComputerRow> ActivityDatabase::GetComputer(int64_t id) {
  return backend().GetComputer(id);
}

std::optional<IpRow> ActivityDatabase::GetIp(int64_t id) { return backend().GetIp(id); }

int64_t ActivityDatabase::InsertComputer(const std::string& computer_name, int32_t status) {
  return backend().InsertComputer(computer_name, status);
}

int64_t ActivityDatabase::InsertIp(const std::string& ip) { return backend().InsertIp(ip); }

int64_t ActivityDatabase::InsertUser(const std::string& user_name, int32_t active,
                                     std::optional<int64_t> ips, std::optional<int64_t> computers) {
  return backend().InsertUser(user_name, active, ips, computers);
}

void ActivityDatabase::InsertWeb(std::string_view url, int32_t size, dbDateTime time,
                                 int64_t user) {
  backend().InsertWeb(url, size, time, user);
}

void ActivityDatabase::InsertFilterActivity(std::string_view url, dbDateTime time,
                                            std::string_view action, int64_t user) {
  backend().InsertFilterActivity(url, time, action, user);
}

void ActivityDatabase::InsertImportedLog(const std::string& name, int64_t size,
                                         const std::string& hash, int64_t time) {
  backend().InsertImportedLog(name, size, hash, time);
}

std::vector<std::string> ActivityDatabase::ImportedLogHashes(const std::string& name,
                                                             int64_t size) {
  return backend().ImportedLogHashes(name, size);
}

std::vector<UserRow> ActivityDatabase::AllUsers() { return backend().AllUsers(); }
