// A prepared statement used straight through the SQLite C interface, for the
// report reads that step through millions of rows and the import's inserts
// of millions: the wrapper's per-column objects and copied texts cost more
// than the work itself. Helper of this folder only.
// Errors throw SQLite::Exception. One thread at a time, like its database.
#ifndef SERVER_DB_FAST_STATEMENT_H_
#define SERVER_DB_FAST_STATEMENT_H_

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class FastStatement {
 public:
  FastStatement(SQLite::Database& db, const std::string& sql) : db_(db.getHandle()) {
    Check(sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt_, nullptr));
  }
  FastStatement(const FastStatement&) = delete;
  FastStatement& operator=(const FastStatement&) = delete;
  ~FastStatement() { sqlite3_finalize(stmt_); }

  // Binds a user id, or NULL for rows without a user.
  void BindUser(int index, std::optional<int64_t> user) {
    Check(user ? sqlite3_bind_int64(stmt_, index, *user) : sqlite3_bind_null(stmt_, index));
  }
  void Bind(int index, int64_t value) { Check(sqlite3_bind_int64(stmt_, index, value)); }
  // Binds text without copying it: it must outlive the next Step.
  void BindText(int index, std::string_view text) {
    Check(
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC));
  }

  // True while there is a row.
  bool Step() {
    const int result = sqlite3_step(stmt_);
    if (result == SQLITE_ROW) return true;
    if (result != SQLITE_DONE) Check(result);
    return false;
  }
  void Reset() { sqlite3_reset(stmt_); }

  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string_view Text(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    if (!text) return {};
    return {reinterpret_cast<const char*>(text),
            static_cast<size_t>(sqlite3_column_bytes(stmt_, column))};
  }

 private:
  void Check(int result) {
    if (result != SQLITE_OK) throw SQLite::Exception(db_, result);
  }

  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

#endif  // SERVER_DB_FAST_STATEMENT_H_
