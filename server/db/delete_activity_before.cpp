#include "server/db/delete_activity_before.h"

#include "server/db/activity_backend.h"
#include "server/db/database_access.h"

DeletedActivity DeleteActivityBefore(ActivityDatabase& db, int64_t cutoff, size_t batch_rows,
                                     const std::function<bool()>& go_on) {
  if (batch_rows == 0) batch_rows = kDeleteBatchRows;
  return ActivityDatabaseAccess::Backend(db).DeleteActivityBefore(cutoff, batch_rows, go_on);
}
