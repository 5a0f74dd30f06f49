#include "server/db/read_activity_of_period.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>

#include "server/db/database_access.h"
#include "server/db/report_users.h"

namespace {

// Sites get small numbers once, so a user's totals are kept in a plain
// array indexed by site instead of a map of strings per user.
class SiteTotals {
 public:
  // The site's number, adding it when new.
  size_t Number(std::string_view url) {
    auto it = numbers_.find(url);
    if (it != numbers_.end()) return it->second;
    // Keys of an unordered_map stay where they are, so the names can point
    // at them.
    auto added = numbers_.emplace(std::string(url), names_.size()).first;
    names_.push_back(&added->first);
    totals_.push_back(0);
    return added->second;
  }
  void Add(size_t site, int64_t count) { totals_[site] += count; }
  size_t size() const { return names_.size(); }
  const std::string& name(size_t site) const { return *names_[site]; }
  int64_t total(size_t site) const { return totals_[site]; }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  std::unordered_map<std::string, size_t, Hash, std::equal_to<>> numbers_;
  std::vector<const std::string*> names_;  // by number
  std::vector<int64_t> totals_;
};

// The `top` entries of `sites` by `count_of`, busiest first, ties by name.
template <typename CountOf>
std::vector<NamedCount> Top(const SiteTotals& all, std::vector<size_t> sites, size_t top,
                            CountOf count_of) {
  auto busier = [&](size_t a, size_t b) {
    int64_t ca = count_of(a), cb = count_of(b);
    return ca != cb ? ca > cb : all.name(a) < all.name(b);
  };
  size_t keep = std::min(top, sites.size());
  std::partial_sort(sites.begin(), sites.begin() + keep, sites.end(), busier);
  std::vector<NamedCount> result;
  for (size_t i = 0; i < keep; ++i) result.push_back({all.name(sites[i]), count_of(sites[i])});
  return result;
}

// One user's rows of the period, summed per site.
class UserPass {
 public:
  UserPass(SQLite::Database& db, int64_t from, int64_t to)
      : rows_(db, "SELECT url, size FROM Web WHERE users IS ? AND time >= ? AND time < ?"),
        from_(from),
        to_(to) {}

  // Adds the user's rows to `sites`; false when the user has none.
  bool Read(std::optional<int64_t> user, SiteTotals& sites, UserActivityOfPeriod* out,
            size_t top) {
    if (user) {
      rows_.bind(1, *user);
    } else {
      rows_.bind(1);
    }
    rows_.bind(2, from_);
    rows_.bind(3, to_);
    touched_.clear();
    while (rows_.executeStep()) {
      const SQLite::Column url = rows_.getColumn(0);
      size_t site = sites.Number(std::string_view(url.getText(), url.getBytes()));
      int64_t count = rows_.getColumn(1).getInt64();
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
      out->requests += count;
    }
    rows_.reset();
    out->site_count = static_cast<int64_t>(touched_.size());
    out->top_sites = Top(sites, touched_, top, [this](size_t s) { return mine_[s]; });
    for (size_t site : touched_) {
      mine_[site] = 0;
      seen_[site] = false;
    }
    return !touched_.empty();
  }

 private:
  SQLite::Statement rows_;
  const int64_t from_, to_;
  std::vector<int64_t> mine_;  // this user's total per site number
  std::vector<bool> seen_;     // whether this user has the site
  std::vector<size_t> touched_;
};

}  // namespace

ActivityOfPeriod ReadActivityOfPeriod(ActivityDatabase& db, int64_t from, int64_t to,
                                      size_t top) {
  SQLite::Database& connection = ActivityDatabaseAccess::Connection(db);
  const UserLabels labels(connection);
  SiteTotals sites;
  UserPass pass(connection, from, to);
  ActivityOfPeriod result;
  for (std::optional<int64_t> user : UsersWithRows(connection, "Web")) {
    UserActivityOfPeriod activity;
    if (!pass.Read(user, sites, &activity, top)) continue;
    activity.user = labels.Of(user);
    result.requests += activity.requests;
    result.users.push_back(std::move(activity));
  }
  std::vector<size_t> all(sites.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  result.site_count = static_cast<int64_t>(sites.size());
  result.top_sites = Top(sites, std::move(all), top, [&](size_t s) { return sites.total(s); });
  std::stable_sort(result.users.begin(), result.users.end(),
                   [](const UserActivityOfPeriod& a, const UserActivityOfPeriod& b) {
                     return a.requests != b.requests ? a.requests > b.requests
                                                     : a.user.name < b.user.name;
                   });
  return result;
}
