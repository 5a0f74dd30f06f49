#include "tools/ledgerix/report_queries.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <algorithm>
#include <map>

namespace {

// Null user references group under this key; ids are positive.
constexpr int64_t kNoUser = -1;

int64_t UserKey(const SQLite::Column& column) {
  return column.isNull() ? kNoUser : column.getInt64();
}

ReportUser UserFromColumns(SQLite::Statement& query, int first) {
  return {query.getColumn(first).getString(), query.getColumn(first + 1).getString(),
          query.getColumn(first + 2).getString()};
}

const char kUserJoins[] =
    " LEFT JOIN \"User\" u ON u.id = r.users"
    " LEFT JOIN Ip i ON i.id = u.ips"
    " LEFT JOIN Computer c ON c.id = u.computers";

void KeepTopSites(UserActivity& activity, size_t top_sites) {
  std::sort(activity.sites.begin(), activity.sites.end(),
            [](const SiteCount& a, const SiteCount& b) {
              return a.count != b.count ? a.count > b.count : a.url < b.url;
            });
  if (activity.sites.size() > top_sites) {
    activity.other_sites = static_cast<int64_t>(activity.sites.size() - top_sites);
    activity.sites.resize(top_sites);
  }
}

void BindPeriod(SQLite::Statement& query, const PeriodBounds& period) {
  query.bind(1, static_cast<int64_t>(period.begin));
  query.bind(2, static_cast<int64_t>(period.end));
}

}  // namespace

std::vector<UserActivity> QueryActivity(SQLite::Database& db, const PeriodBounds& period,
                                        size_t top_sites) {
  SQLite::Statement query(db, std::string("SELECT r.users, u.user_name, i.ip, c.computer_name,"
                                          " r.url, SUM(r.size) FROM Web r") +
                                  kUserJoins +
                                  " WHERE r.time >= ? AND r.time < ? GROUP BY r.users, r.url");
  BindPeriod(query, period);
  std::map<int64_t, UserActivity> by_user;
  while (query.executeStep()) {
    UserActivity& activity = by_user[UserKey(query.getColumn(0))];
    if (activity.sites.empty()) activity.user = UserFromColumns(query, 1);
    int64_t count = query.getColumn(5).getInt64();
    activity.sites.push_back({query.getColumn(4).getString(), count});
    activity.total += count;
  }
  std::vector<UserActivity> users;
  for (auto& [id, activity] : by_user) {
    KeepTopSites(activity, top_sites);
    users.push_back(std::move(activity));
  }
  std::sort(users.begin(), users.end(), [](const UserActivity& a, const UserActivity& b) {
    return a.total != b.total ? a.total > b.total : a.user.name < b.user.name;
  });
  return users;
}

std::vector<UserFilterEvents> QueryFilterEvents(SQLite::Database& db, const PeriodBounds& period,
                                                size_t max_events) {
  SQLite::Statement query(db, std::string("SELECT r.users, u.user_name, i.ip, c.computer_name,"
                                          " r.time, r.url, r.action FROM FilterActivity r") +
                                  kUserJoins +
                                  " WHERE r.time >= ? AND r.time < ?"
                                  " ORDER BY u.user_name, r.users, r.time, r.id");
  BindPeriod(query, period);
  std::vector<UserFilterEvents> users;
  int64_t current = 0;
  while (query.executeStep()) {
    int64_t key = UserKey(query.getColumn(0));
    if (users.empty() || key != current) {
      users.push_back({UserFromColumns(query, 1), {}, 0});
      current = key;
    }
    UserFilterEvents& user = users.back();
    if (user.events.size() >= max_events) {
      ++user.unlisted;
      continue;
    }
    user.events.push_back({query.getColumn(4).getInt64(), query.getColumn(5).getString(),
                           query.getColumn(6).getString()});
  }
  return users;
}
