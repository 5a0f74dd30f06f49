#include "server/db/sqlite_delete_old_activity.h"

#include <optional>
#include <string>

#include "server/db/sqlite_report_users.h"

namespace {

// Deletes one table's old rows user by user (through the index on user
// then time), committing whenever a batch is full; returns how many went.
class TableDeletion {
 public:
  TableDeletion(SQLite::Database& db, const char* table, int64_t cutoff, size_t batch_rows)
      : db_(db),
        delete_(db, std::string("DELETE FROM ") + table + " WHERE id IN (SELECT id FROM " + table +
                        " WHERE users IS ? AND time < ? ORDER BY time LIMIT ?)"),
        table_(table),
        cutoff_(cutoff),
        batch_rows_(batch_rows) {}

  // False when `go_on` stopped it.
  bool Run(const std::function<bool()>& go_on, bool ask_first) {
    bool ask = ask_first;
    for (std::optional<int64_t> user : UsersWithRows(db_, table_)) {
      for (;;) {
        if (!transaction_) {
          if (ask && go_on && !go_on()) return false;
          transaction_.emplace(db_, SQLite::TransactionBehavior::IMMEDIATE);
          in_batch_ = 0;
        }
        const size_t changed = DeleteOldRowsOf(user, batch_rows_ - in_batch_);
        in_batch_ += changed;
        deleted_ += static_cast<int64_t>(changed);
        if (in_batch_ < batch_rows_) break;  // this user is done
        Commit();
        ask = true;
      }
    }
    if (transaction_) Commit();
    return true;
  }

  int64_t deleted() const { return deleted_; }
  bool committed_any() const { return committed_any_; }

 private:
  size_t DeleteOldRowsOf(std::optional<int64_t> user, size_t limit) {
    if (user) {
      delete_.bind(1, *user);
    } else {
      delete_.bind(1);
    }
    delete_.bind(2, cutoff_);
    delete_.bind(3, static_cast<int64_t>(limit));
    const int changed = delete_.exec();
    delete_.reset();
    return static_cast<size_t>(changed);
  }

  void Commit() {
    transaction_->commit();
    transaction_.reset();
    committed_any_ = true;
  }

  SQLite::Database& db_;
  SQLite::Statement delete_;
  const char* const table_;
  const int64_t cutoff_;
  const size_t batch_rows_;
  std::optional<SQLite::Transaction> transaction_;
  size_t in_batch_ = 0;
  int64_t deleted_ = 0;
  bool committed_any_ = false;
};

}  // namespace

DeletedActivity SqliteDeleteActivityBefore(SQLite::Database& db, int64_t cutoff, size_t batch_rows,
                                           const std::function<bool()>& go_on) {
  DeletedActivity deleted;
  TableDeletion web(db, "Web", cutoff, batch_rows);
  const bool finished = web.Run(go_on, false);
  deleted.web = web.deleted();
  if (!finished) return deleted;
  TableDeletion filter(db, "FilterActivity", cutoff, batch_rows);
  filter.Run(go_on, web.committed_any());
  deleted.filter = filter.deleted();
  return deleted;
}
