#include "server/db/copy_activity_database.h"

#include <exception>
#include <memory>

#include "server/db/database_access.h"

namespace {

// Passes every row on, counting them.
class CountingSink final : public ActivityRowSink {
 public:
  CountingSink(ActivityRowSink& target, CopiedActivity* copied)
      : target_(target), copied_(copied) {}
  void Put(const ComputerRow& row) override { target_.Put(row); }
  void Put(const IpRow& row) override { target_.Put(row); }
  void Put(const UserRow& row) override {
    target_.Put(row);
    ++copied_->users;
  }
  void Put(const WebRow& row) override {
    target_.Put(row);
    ++copied_->web;
  }
  void Put(const FilterActivityRow& row) override {
    target_.Put(row);
    ++copied_->filter;
  }
  void Put(const ImportedLogRow& row) override {
    target_.Put(row);
    ++copied_->imported_logs;
  }
  void Finish() override { target_.Finish(); }

 private:
  ActivityRowSink& target_;
  CopiedActivity* copied_;
};

}  // namespace

bool CopyActivityDatabase(ActivityDatabase& from, ActivityDatabase& to, CopiedActivity* copied,
                          std::string* error) {
  CopiedActivity counts;
  try {
    ActivityBackend& target = ActivityDatabaseAccess::Backend(to);
    ActivityDatabase::Transaction transaction(to);
    if (target.HoldsActivity()) {
      *error = "the target already holds activity; copy only into an empty database";
      return false;
    }
    std::unique_ptr<ActivityRowSink> rows = target.RowsKeepingIds();
    CountingSink sink(*rows, &counts);
    ActivityDatabaseAccess::Backend(from).ReadAllRows(sink);
    sink.Finish();
    transaction.Commit();
  } catch (const std::exception& e) {
    *error = e.what();
    return false;
  }
  if (copied) *copied = counts;
  return true;
}
