#include "server/db/visit_filter_events_of_period.h"

#include <optional>

#include "server/db/database_access.h"

void VisitFilterEventsOfPeriod(ActivityDatabase& db, int64_t from, int64_t to,
                               const FilterEventVisitor& visit) {
  ActivityBackend& backend = ActivityDatabaseAccess::Backend(db);
  const auto labels = backend.AllUserLabels();
  const UserLabel nobody;
  backend.ScanFilterEventsOfPeriod(from, to,
                                   [&](std::optional<int64_t> user, int64_t, std::string_view url,
                                       int64_t time, std::string_view action) {
                                     auto it = user ? labels.find(*user) : labels.end();
                                     visit(it == labels.end() ? nobody : it->second, time, url,
                                           action);
                                   });
}
