#include "server/db/visit_user_sites_of_period.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "server/db/database_access.h"
#include "server/db/scan_web_by_user.h"

void VisitUserSitesOfPeriod(ActivityDatabase& db, int64_t from, int64_t to,
                            const UserSitesVisitor& visit) {
  ActivityBackend& backend = ActivityDatabaseAccess::Backend(db);
  const auto labels = backend.AllUserLabels();
  std::unordered_map<std::string, int64_t> sums;
  auto finish_user = [&](std::optional<int64_t> user) {
    if (sums.empty()) return;
    std::vector<NamedCount> sites;
    sites.reserve(sums.size());
    for (auto& [site, count] : sums) sites.push_back({site, count});
    std::sort(sites.begin(), sites.end(), [](const NamedCount& a, const NamedCount& b) {
      return a.count != b.count ? a.count > b.count : a.name < b.name;
    });
    visit(LabelOf(labels, user), sites);
    sums.clear();
  };
  ScanWebByUser(
      backend, from, to,
      [&](std::string_view url, int64_t size) { sums[std::string(url)] += size; }, finish_user);
}
