#include "server/db/read_filter_events_of_period.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

#include "common/string_map.h"
#include "server/db/database_access.h"
#include "server/db/fast_statement.h"
#include "server/db/report_users.h"

namespace {

using Counts = StringMap<int64_t>;

void Count(Counts& counts, std::string_view name) {
  auto it = counts.find(name);
  if (it == counts.end()) it = counts.emplace(std::string(name), 0).first;
  ++it->second;
}

// The `top` most frequent names, ties by name.
std::vector<NamedCount> Ranked(const Counts& counts, size_t top = SIZE_MAX) {
  std::vector<NamedCount> ranked;
  ranked.reserve(counts.size());
  for (const auto& [name, count] : counts) ranked.push_back({name, count});
  size_t keep = std::min(top, ranked.size());
  std::partial_sort(ranked.begin(), ranked.begin() + keep, ranked.end(),
                    [](const NamedCount& a, const NamedCount& b) {
                      return a.count != b.count ? a.count > b.count : a.name < b.name;
                    });
  ranked.resize(keep);
  return ranked;
}

// One user's events of the period, newest first.
class UserPass {
 public:
  UserPass(SQLite::Database& db, int64_t from, int64_t to)
      : rows_(db,
              "SELECT id, url, time, action FROM FilterActivity"
              " WHERE users IS ? AND time >= ? AND time < ? ORDER BY time DESC, id DESC"),
        from_(from),
        to_(to) {}

  // Fills `out` and adds to the period's counts; false when the user has
  // no events in the period.
  bool Read(std::optional<int64_t> user, size_t latest, UserFilterEventsOfPeriod* out,
            Counts& actions, Counts& blocked_sites, int64_t* blocked) {
    rows_.BindUser(1, user);
    rows_.Bind(2, from_);
    rows_.Bind(3, to_);
    Counts mine;
    while (rows_.Step()) {
      const std::string_view url_text = rows_.Text(1);
      const std::string_view action_text = rows_.Text(3);
      if (out->latest.size() < latest) {
        out->latest.push_back({rows_.Int(0), std::string(url_text), dbDateTime(rows_.Int(2)),
                               std::string(action_text), user});
      }
      ++out->events;
      Count(mine, action_text);
      Count(actions, action_text);
      if (IsBlockedAction(action_text)) {
        ++*blocked;
        Count(blocked_sites, SiteOfAddress(url_text));
      }
    }
    rows_.Reset();
    out->actions = Ranked(mine);
    return out->events > 0;
  }

 private:
  FastStatement rows_;
  const int64_t from_, to_;
};

}  // namespace

bool IsBlockedAction(std::string_view action) {
  static constexpr std::string_view kBlock = "block";
  if (action.size() < kBlock.size()) return false;
  for (size_t i = 0; i < kBlock.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(action[i])) != kBlock[i]) return false;
  }
  return true;
}

std::string_view SiteOfAddress(std::string_view url) {
  size_t scheme = url.find("://");
  if (scheme != std::string_view::npos && url.find('/') > scheme) url.remove_prefix(scheme + 3);
  return url.substr(0, url.find('/'));
}

FilterEventsOfPeriod ReadFilterEventsOfPeriod(ActivityDatabase& db, int64_t from, int64_t to,
                                              size_t top, size_t latest) {
  SQLite::Database& connection = ActivityDatabaseAccess::Connection(db);
  const UserLabels labels(connection);
  UserPass pass(connection, from, to);
  Counts actions, blocked_sites;
  FilterEventsOfPeriod result;
  for (std::optional<int64_t> user : UsersWithRows(connection, "FilterActivity")) {
    UserFilterEventsOfPeriod events;
    if (!pass.Read(user, latest, &events, actions, blocked_sites, &result.blocked)) continue;
    events.user = labels.Of(user);
    result.events += events.events;
    result.users.push_back(std::move(events));
  }
  result.actions = Ranked(actions);
  result.top_blocked_sites = Ranked(blocked_sites, top);
  std::stable_sort(result.users.begin(), result.users.end(),
                   [](const UserFilterEventsOfPeriod& a, const UserFilterEventsOfPeriod& b) {
                     return a.events != b.events ? a.events > b.events : a.user.name < b.user.name;
                   });
  return result;
}
