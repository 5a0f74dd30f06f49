#include "server/db/read_filter_events_of_period.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>

#include "common/string_map.h"
#include "server/db/database_access.h"

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
  ActivityBackend& backend = ActivityDatabaseAccess::Backend(db);
  const auto labels = backend.AllUserLabels();
  Counts actions, blocked_sites, mine;
  FilterEventsOfPeriod result;
  bool started = false;
  std::optional<int64_t> current;  // the user whose events come (once started)
  UserFilterEventsOfPeriod events;
  auto finish_user = [&] {
    if (!started || events.events == 0) return;
    events.user = LabelOf(labels, current);
    events.actions = Ranked(mine);
    result.events += events.events;
    result.users.push_back(std::move(events));
    events = {};
    mine.clear();
  };
  backend.ScanFilterEventsOfPeriod(
      from, to,
      [&](std::optional<int64_t> user, int64_t id, std::string_view url, int64_t time,
          std::string_view action) {
        if (!started || current != user) {
          finish_user();
          started = true;
          current = user;
        }
        if (events.latest.size() < latest)
          events.latest.push_back(
              {id, std::string(url), dbDateTime(time), std::string(action), user});
        ++events.events;
        Count(mine, action);
        Count(actions, action);
        if (IsBlockedAction(action)) {
          ++result.blocked;
          Count(blocked_sites, SiteOfAddress(url));
        }
      });
  finish_user();
  result.actions = Ranked(actions);
  result.top_blocked_sites = Ranked(blocked_sites, top);
  std::stable_sort(result.users.begin(), result.users.end(),
                   [](const UserFilterEventsOfPeriod& a, const UserFilterEventsOfPeriod& b) {
                     return a.events != b.events ? a.events > b.events : a.user.name < b.user.name;
                   });
  return result;
}
