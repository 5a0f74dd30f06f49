#include "server/db/read_activity_of_period.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "server/db/database_access.h"
#include "server/db/scan_web_by_user.h"
#include "server/db/site_numbers.h"

namespace {

// Every site's total over all users, by site number.
class SiteTotals {
 public:
  uint32_t Number(std::string_view url) {
    const uint32_t number = numbers_.Number(url);
    if (number >= totals_.size()) totals_.resize(numbers_.size(), 0);
    return number;
  }
  void Add(uint32_t site, int64_t count) { totals_[site] += count; }
  size_t size() const { return numbers_.size(); }
  std::string_view name(uint32_t site) const { return numbers_.name(site); }
  int64_t total(uint32_t site) const { return totals_[site]; }

 private:
  SiteNumbers numbers_;
  std::vector<int64_t> totals_;
};

// The `top` entries of `sites` by `count_of`, busiest first, ties by name.
template <typename CountOf>
std::vector<NamedCount> Top(const SiteTotals& all, std::vector<uint32_t> sites, size_t top,
                            CountOf count_of) {
  auto busier = [&](uint32_t a, uint32_t b) {
    int64_t ca = count_of(a), cb = count_of(b);
    return ca != cb ? ca > cb : all.name(a) < all.name(b);
  };
  size_t keep = std::min(top, sites.size());
  std::partial_sort(sites.begin(), sites.begin() + keep, sites.end(), busier);
  std::vector<NamedCount> result;
  for (size_t i = 0; i < keep; ++i)
    result.push_back({std::string(all.name(sites[i])), count_of(sites[i])});
  return result;
}

// One user's rows of the period, summed per site.
class UserSums {
 public:
  // Adds a row of the current user.
  void Add(SiteTotals& sites, std::string_view url, int64_t count) {
    const uint32_t site = sites.Number(url);
    if (site >= mine_.size()) {
      mine_.resize(sites.size(), 0);
      seen_.resize(sites.size(), false);
    }
    if (!seen_[site]) {
      seen_[site] = true;
      touched_.push_back(site);
    }
    mine_[site] += count;
    sites.Add(site, count);
    requests_ += count;
  }

  // Hands the user's figures over and starts on the next user; false when
  // the user had no rows.
  bool Take(const SiteTotals& sites, size_t top, UserActivityOfPeriod* out) {
    out->requests = requests_;
    out->site_count = static_cast<int64_t>(touched_.size());
    out->top_sites = Top(sites, touched_, top, [this](uint32_t s) { return mine_[s]; });
    for (uint32_t site : touched_) {
      mine_[site] = 0;
      seen_[site] = false;
    }
    const bool any = !touched_.empty();
    touched_.clear();
    requests_ = 0;
    return any;
  }

 private:
  std::vector<int64_t> mine_;  // this user's total per site number
  std::vector<bool> seen_;     // whether this user has the site
  std::vector<uint32_t> touched_;
  int64_t requests_ = 0;
};

}  // namespace

ActivityOfPeriod ReadActivityOfPeriod(ActivityDatabase& db, int64_t from, int64_t to, size_t top) {
  ActivityBackend& backend = ActivityDatabaseAccess::Backend(db);
  const auto labels = backend.AllUserLabels();
  SiteTotals sites;
  UserSums sums;
  ActivityOfPeriod result;
  auto finish_user = [&](std::optional<int64_t> user) {
    UserActivityOfPeriod activity;
    if (!sums.Take(sites, top, &activity)) return;
    activity.user = LabelOf(labels, user);
    result.requests += activity.requests;
    result.users.push_back(std::move(activity));
  };
  ScanWebByUser(
      backend, from, to, [&](std::string_view url, int64_t size) { sums.Add(sites, url, size); },
      finish_user);
  std::vector<uint32_t> all(sites.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint32_t>(i);
  result.site_count = static_cast<int64_t>(sites.size());
  result.top_sites = Top(sites, std::move(all), top, [&](uint32_t s) { return sites.total(s); });
  std::stable_sort(result.users.begin(), result.users.end(),
                   [](const UserActivityOfPeriod& a, const UserActivityOfPeriod& b) {
                     return a.requests != b.requests ? a.requests > b.requests
                                                     : a.user.name < b.user.name;
                   });
  return result;
}
