#include "tools/ledgerix/report_html.h"

#include <algorithm>
#include <functional>

#include "tools/ledgerix/activity_chart.h"
#include "tools/ledgerix/html_parts.h"
#include "tools/ledgerix/report_period.h"

namespace {

std::string EmptyLine(const std::string& title, const std::string& what,
                      const std::string& period) {
  return "<p style=\"font-family:Arial,sans-serif\"><b>" + EscapeHtml(title) + "</b>: " + what +
         " " + EscapeHtml(period) + ".</p>\n";
}

template <typename T>
std::vector<T> FirstOf(const std::vector<T>& all, size_t n) {
  return std::vector<T>(all.begin(), all.begin() + std::min(n, all.size()));
}

// The first `n` users as rows of a count table, names already HTML.
template <typename User, typename CountOfUser>
std::vector<NamedCount> UserRows(const std::vector<User>& users, size_t n, CountOfUser count) {
  std::vector<NamedCount> rows;
  for (size_t i = 0; i < std::min(n, users.size()); ++i)
    rows.push_back({UserText(users[i].user), count(users[i])});
  return rows;
}

// Appends one section per user while the budget lasts, then the line that
// counts the users left out.
template <typename User>
void AppendUserSections(const std::vector<User>& users,
                        const std::function<std::string(const User&)>& section, std::string* html) {
  size_t shown = 0;
  for (; shown < std::min(kUsersListed, users.size()); ++shown) {
    std::string part = section(users[shown]);
    if (html->size() + part.size() > kSectionBudgetBytes) break;
    *html += part;
  }
  if (shown < users.size()) {
    *html += LeftOut(static_cast<int64_t>(users.size() - shown), "more user", "more users");
  }
}

std::string ActivitySection(const UserActivityOfPeriod& user) {
  std::string html = SubHeading(UserText(user.user));
  html += Paragraph(CountOf(user.requests, "request", "requests") + " in total on " +
                    CountOf(user.site_count, "site", "sites"));
  std::vector<NamedCount> sites = FirstOf(user.top_sites, kSitesPerUser);
  html += CountTable("Site", "Requests", sites);
  const int64_t left_out = user.site_count - static_cast<int64_t>(sites.size());
  if (left_out > 0) html += LeftOut(left_out, "more site", "more sites");
  return html;
}

std::string EventTable(const std::vector<FilterActivityRow>& events) {
  std::string html = EventTableHead();
  for (const FilterActivityRow& event : events) html += EventRow(event);
  return html + "</table>\n";
}

std::string FilterSection(const UserFilterEventsOfPeriod& user) {
  std::string html = SubHeading(UserText(user.user));
  html += Paragraph(CountOf(user.events, "filter event", "filter events") + ": " +
                    ActionSummary(user.actions, 5));
  std::vector<FilterActivityRow> latest = FirstOf(user.latest, kEventsPerUser);
  html += EventTable(latest);
  const int64_t left_out = user.events - static_cast<int64_t>(latest.size());
  if (left_out > 0) html += LeftOut(left_out, "earlier event", "earlier events");
  return html;
}

}  // namespace

std::string RenderActivityReport(const ActivityReport& report) {
  const ActivityOfPeriod& activity = report.activity;
  if (activity.users.empty()) {
    return EmptyLine(report.title, "no web activity was recorded for", report.period);
  }
  std::string html = Heading(report.title, report.period);
  html += FigureTable({{"Requests", activity.requests},
                       {"Users", static_cast<int64_t>(activity.users.size())},
                       {"Sites", activity.site_count}});
  html += ColumnChart("Requests per day", report.per_day);
  html += SubHeading("Top " + std::to_string(kTopInOverview) + " users");
  html += CountTable("User", "Requests",
                     UserRows(activity.users, kTopInOverview,
                              [](const UserActivityOfPeriod& u) { return u.requests; }),
                     true);
  html += SubHeading("Top " + std::to_string(kTopInOverview) + " sites");
  html += CountTable("Site", "Requests", FirstOf(activity.top_sites, kTopInOverview));
  html += SubHeading("Users, busiest first");
  AppendUserSections<UserActivityOfPeriod>(activity.users, ActivitySection, &html);
  return html;
}

std::string RenderFilterReport(const FilterReport& report) {
  const FilterEventsOfPeriod& events = report.events;
  if (events.users.empty()) {
    return EmptyLine(report.title, "no filter events were recorded for", report.period);
  }
  std::string html = Heading(report.title, report.period);
  html += FigureTable({{"Filter events", events.events},
                       {"Blocked", events.blocked},
                       {"Users", static_cast<int64_t>(events.users.size())}});
  html += ColumnChart("Filter events per day", report.per_day);
  html += ColumnChart("Filter events per hour of the day", report.per_hour);
  html += SubHeading("Events per action");
  std::vector<NamedCount> actions = FirstOf(events.actions, kActionsListed);
  for (NamedCount& action : actions) {
    if (action.name.empty()) action.name = "(no action)";
  }
  html += CountTable("Action", "Events", actions);
  if (events.actions.size() > actions.size()) {
    html += LeftOut(static_cast<int64_t>(events.actions.size() - actions.size()), "more action",
                    "more actions");
  }
  html += SubHeading("Top " + std::to_string(kTopInOverview) + " blocked sites");
  if (events.top_blocked_sites.empty()) {
    html += Paragraph("Nothing was blocked.");
  } else {
    html += CountTable("Site", "Blocked", FirstOf(events.top_blocked_sites, kTopInOverview));
  }
  html += SubHeading("Top " + std::to_string(kTopInOverview) + " users by filter events");
  html += CountTable("User", "Events",
                     UserRows(events.users, kTopInOverview,
                              [](const UserFilterEventsOfPeriod& u) { return u.events; }),
                     true);
  html += SubHeading("Users, most filter events first");
  AppendUserSections<UserFilterEventsOfPeriod>(events.users, FilterSection, &html);
  return html;
}
