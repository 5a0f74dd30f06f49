#include "tools/ledgerix/user_report_html.h"

#include <algorithm>

#include "common/html_page.h"
#include "tools/ledgerix/html_parts.h"
#include "tools/ledgerix/report_period.h"

namespace {

// Room left for the page's frame and the closing lines after the tables.
constexpr size_t kFrameBytes = 4096;
constexpr size_t kBodyBytes = kUserPageBytes - kFrameBytes;
// While there are filter events, the sites leave them a quarter of the page.
constexpr size_t kSitesBytesBeforeEvents = kBodyBytes / 4 * 3;

std::string KnownAt(const std::vector<UserLabel>& labels) {
  std::string html;
  for (const UserLabel& label : labels) {
    if (label.ip.empty() && label.computer.empty()) continue;
    html += html.empty() ? "Known at " : "; ";
    html += ShowText(label.ip);
    if (!label.ip.empty() && !label.computer.empty()) html += ", ";
    html += ShowText(label.computer);
  }
  return html.empty() ? html : Paragraph(html);
}

void AppendStays(const UserReport& report, std::string* html) {
  *html += SubHeading("Addresses and computers");
  if (report.stays_withheld) {
    *html += Paragraph("Withheld, as the user's name is.");
    return;
  }
  if (report.stays.empty()) {
    *html += Paragraph("The agents' reports kept name no address for this user in this period.");
    return;
  }
  *html += TableStart() +
           "<tr><th align=\"left\">Address</th><th align=\"left\">Computer</th>"
           "<th align=\"left\" width=\"140\">First seen</th>"
           "<th align=\"left\" width=\"140\">Last seen</th></tr>\n";
  for (const ContactInterval& stay : report.stays) {
    *html += "<tr><td>" + ShowText(stay.ip) + "</td><td>" + ShowText(stay.computer) + "</td><td>" +
             FormatLocalTime(stay.first_seen) + "</td><td>" + FormatLocalTime(stay.last_seen) +
             "</td></tr>\n";
  }
  *html += "</table>\n";
}

void AppendSites(const UserActivity& activity, size_t budget, std::string* html) {
  *html += SubHeading("Sites, busiest first");
  if (activity.sites.empty()) {
    *html += Paragraph("No web requests were recorded in this period.");
    return;
  }
  const int64_t largest = activity.sites.front().count;
  *html += CountTableHead("Site", "Requests");
  size_t shown = 0;
  for (; shown < activity.sites.size(); ++shown) {
    const NamedCount& site = activity.sites[shown];
    std::string row = CountRow(ShowText(site.name), site.count, largest);
    if (html->size() + row.size() > budget) break;
    *html += row;
  }
  *html += "</table>\n";
  const size_t left_out = activity.sites.size() - shown;
  if (left_out > 0) *html += LeftOut(static_cast<int64_t>(left_out), "more site", "more sites");
}

void AppendEvents(const UserActivity& activity, size_t budget, std::string* html) {
  *html += SubHeading("Filter events, newest first");
  if (activity.events == 0) {
    *html += Paragraph("No filter events were recorded in this period.");
    return;
  }
  *html += Paragraph(CountOf(activity.events, "filter event", "filter events") + ": " +
                     ActionSummary(activity.actions, activity.actions.size()));
  *html += EventTableHead();
  size_t shown = 0;
  for (; shown < activity.latest.size(); ++shown) {
    std::string row = EventRow(activity.latest[shown]);
    if (html->size() + row.size() > budget) break;
    *html += row;
  }
  *html += "</table>\n";
  const int64_t left_out = activity.events - static_cast<int64_t>(shown);
  if (left_out > 0) *html += LeftOut(left_out, "earlier event", "earlier events");
}

}  // namespace

std::string RenderUserReport(const UserReport& report) {
  const UserActivity& activity = report.activity;
  const std::string title = "Activity of " + report.name;
  std::string html = Heading(title, report.period);
  html += KnownAt(activity.labels);
  html += FigureTable({{"Requests", activity.requests},
                       {"Sites", static_cast<int64_t>(activity.sites.size())},
                       {"Filter events", activity.events}});
  html += ColumnChart("Requests per day", report.requests_per_day);
  html += ColumnChart("Filter events per day", report.events_per_day);
  html += ColumnChart("Filter events per hour of the day", report.events_per_hour);
  AppendStays(report, &html);
  AppendSites(activity, activity.events > 0 ? kSitesBytesBeforeEvents : kBodyBytes, &html);
  AppendEvents(activity, kBodyBytes, &html);
  return HtmlPage(title, html);
}
