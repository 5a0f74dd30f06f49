#include "tools/ledgerix/report_html.h"

#include <algorithm>

#include "tools/ledgerix/report_period.h"

namespace {

constexpr int kBarWidth = 200;  // pixels of a full bar
const char kBarColour[] = "#3a6ea5";

std::string Heading(const std::string& title, const std::string& period) {
  return "<h2 style=\"font-family:Arial,sans-serif\">" + EscapeHtml(title) + "</h2>\n" +
         "<p style=\"font-family:Arial,sans-serif\">" + EscapeHtml(period) + "</p>\n";
}

std::string EmptyLine(const std::string& title, const std::string& what,
                      const std::string& period) {
  return "<p style=\"font-family:Arial,sans-serif\"><b>" + EscapeHtml(title) + "</b>: " + what +
         " " + EscapeHtml(period) + ".</p>\n";
}

std::string UserHeading(const ReportUser& user, const std::string& extra) {
  std::string html = "<h3 style=\"font-family:Arial,sans-serif\">" +
                     EscapeHtml(user.name.empty() ? "(unknown user)" : user.name);
  if (!user.ip.empty() || !user.computer.empty()) {
    html += " <small>(" + EscapeHtml(user.ip);
    if (!user.ip.empty() && !user.computer.empty()) html += ", ";
    html += EscapeHtml(user.computer) + ")</small>";
  }
  return html + "</h3>\n<p style=\"font-family:Arial,sans-serif\">" + extra + "</p>\n";
}

// A bar of `count` against `largest` as two cells of a fixed-width table.
std::string Bar(int64_t count, int64_t largest) {
  int64_t filled = largest > 0 ? std::max<int64_t>(count, 0) * kBarWidth / largest : 0;
  filled = std::clamp<int64_t>(filled, 1, kBarWidth);
  std::string html = "<table width=\"" + std::to_string(kBarWidth) +
                     "\" cellpadding=\"0\" cellspacing=\"0\" border=\"0\"><tr>"
                     "<td width=\"" +
                     std::to_string(filled) + "\" height=\"10\" bgcolor=\"" + kBarColour +
                     "\"></td>";
  if (filled < kBarWidth) {
    html += "<td width=\"" + std::to_string(kBarWidth - filled) + "\"></td>";
  }
  return html + "</tr></table>";
}

std::string SiteTable(const UserActivity& activity) {
  int64_t largest = 0;
  for (const SiteCount& site : activity.sites) largest = std::max(largest, site.count);
  std::string html =
      "<table cellpadding=\"3\" cellspacing=\"0\" border=\"1\" "
      "style=\"border-collapse:collapse;font-family:Arial,sans-serif;font-size:13px\">\n"
      "<tr><th align=\"left\">Site</th><th align=\"right\">Requests</th><th></th></tr>\n";
  for (const SiteCount& site : activity.sites) {
    html += "<tr><td>" + EscapeHtml(site.url) + "</td><td align=\"right\">" +
            std::to_string(site.count) + "</td><td>" + Bar(site.count, largest) + "</td></tr>\n";
  }
  return html + "</table>\n";
}

std::string EventTable(const UserFilterEvents& user) {
  std::string html =
      "<table cellpadding=\"3\" cellspacing=\"0\" border=\"1\" "
      "style=\"border-collapse:collapse;font-family:Arial,sans-serif;font-size:13px\">\n"
      "<tr><th align=\"left\">Time</th><th align=\"left\">Address</th>"
      "<th align=\"left\">Action</th></tr>\n";
  for (const FilterEvent& event : user.events) {
    html += "<tr><td>" + FormatLocalTime(event.time) + "</td><td>" + EscapeHtml(event.url) +
            "</td><td>" + EscapeHtml(event.action) + "</td></tr>\n";
  }
  return html + "</table>\n";
}

std::string Count(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string RenderActivityReport(const ActivityReport& report) {
  if (report.users.empty()) {
    return EmptyLine(report.title, "no web activity was recorded for", report.period);
  }
  std::string html = Heading(report.title, report.period);
  for (const UserActivity& activity : report.users) {
    std::string summary = Count(activity.total, "request", "requests") + " in total";
    html += UserHeading(activity.user, summary);
    html += SiteTable(activity);
    if (activity.other_sites > 0) {
      html += "<p style=\"font-family:Arial,sans-serif;font-size:12px\">and " +
              Count(activity.other_sites, "more site", "more sites") + "</p>\n";
    }
  }
  return html;
}

std::string RenderFilterReport(const FilterReport& report) {
  if (report.users.empty()) {
    return EmptyLine(report.title, "no filter events were recorded for", report.period);
  }
  std::string html = Heading(report.title, report.period);
  for (const UserFilterEvents& user : report.users) {
    int64_t total = static_cast<int64_t>(user.events.size()) + user.unlisted;
    html += UserHeading(user.user, Count(total, "filter event", "filter events"));
    html += EventTable(user);
    if (user.unlisted > 0) {
      html += "<p style=\"font-family:Arial,sans-serif;font-size:12px\">and " +
              Count(user.unlisted, "later event", "later events") + " not listed</p>\n";
    }
  }
  return html;
}
