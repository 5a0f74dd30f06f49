#include "server/db/read_user_activity.h"

#include <algorithm>

#include "server/db/database_access.h"

namespace {

// Busiest first, ties by name (bytewise, whatever the store's collation);
// returns the sum of the counts.
int64_t Rank(std::vector<NamedCount>& counts) {
  std::sort(counts.begin(), counts.end(), [](const NamedCount& a, const NamedCount& b) {
    return a.count != b.count ? a.count > b.count : a.name < b.name;
  });
  int64_t total = 0;
  for (const NamedCount& count : counts) total += count.count;
  return total;
}

}  // namespace

UserActivity ReadUserActivity(ActivityDatabase& db, const std::string& user_name, int64_t from,
                              int64_t to, size_t latest) {
  ActivityBackend& backend = ActivityDatabaseAccess::Backend(db);
  UserActivity result;
  result.labels = backend.LabelsOfName(user_name);
  if (result.labels.empty()) return result;
  result.sites = backend.SitesOfName(user_name, from, to);
  result.requests = Rank(result.sites);
  result.actions = backend.ActionsOfName(user_name, from, to);
  result.events = Rank(result.actions);
  result.latest = backend.LatestEventsOfName(user_name, from, to, latest);
  return result;
}
