#include "tools/ledgerix/report_html.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/ledgerix/html_parts.h"
#include "tools/ledgerix/test_support.h"

namespace {

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Widths of the filled bar cells, in order.
std::vector<int> BarWidths(const std::string& html) {
  const std::string marker = "\" height=\"10\" bgcolor=";
  std::vector<int> widths;
  for (size_t at = html.find(marker); at != std::string::npos; at = html.find(marker, at + 1)) {
    size_t open_quote = html.rfind('"', at - 1);
    widths.push_back(std::stoi(html.substr(open_quote + 1, at - open_quote - 1)));
  }
  return widths;
}

ActivityReport OneUserActivity(UserLabel user, int64_t requests, std::vector<NamedCount> sites,
                               int64_t site_count) {
  ActivityReport report{"Daily activity report", "Monday 7 December 2026", {}};
  report.activity.requests = requests;
  report.activity.site_count = site_count;
  report.activity.top_sites = sites;
  report.activity.users.push_back({user, requests, site_count, sites});
  return report;
}

FilterReport OneUserFilter(UserLabel user, std::vector<FilterActivityRow> latest, int64_t events) {
  FilterReport report{"Daily filter report", "Monday 7 December 2026", {}};
  report.events.events = events;
  for (const FilterActivityRow& row : latest) report.events.actions.push_back({row.action, 1});
  report.events.users.push_back({user, events, report.events.actions, latest});
  return report;
}

TEST(ReportHtmlTest, EscapesEverythingFromTheLogs) {
  EXPECT_EQ(EscapeHtml("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&#39;");
  std::string html =
      RenderActivityReport(OneUserActivity({"<script>alert(1)</script>", "10.0.0.1\"><b>", "PC&1"},
                                           5, {{"evil.example/<img src=x>", 5}}, 1));
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_EQ(html.find("\"><b>"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("PC&amp;1"), std::string::npos);
  html = RenderFilterReport(OneUserFilter(
      {"m&m", "", ""}, {{1, "x.example/?a=1&b=<2>", dbDateTime(0), "block'ed", 1}}, 1));
  EXPECT_NE(html.find("m&amp;m"), std::string::npos);
  EXPECT_NE(html.find("x.example/?a=1&amp;b=&lt;2&gt;"), std::string::npos);
  EXPECT_NE(html.find("block&#39;ed"), std::string::npos);
  EXPECT_EQ(html.find("<2>"), std::string::npos);
}

TEST(ReportHtmlTest, EmptyPeriodsSayItInOneLine) {
  std::string activity = RenderActivityReport({"Weekly activity report", "1 to 7 <x>", {}});
  EXPECT_EQ(Occurrences(activity, "\n"), 1u);
  EXPECT_NE(activity.find("no web activity"), std::string::npos);
  EXPECT_NE(activity.find("1 to 7 &lt;x&gt;"), std::string::npos);
  EXPECT_EQ(activity.find("<table"), std::string::npos);
  std::string filter = RenderFilterReport({"Monthly filter report", "November 2026", {}});
  EXPECT_EQ(Occurrences(filter, "\n"), 1u);
  EXPECT_NE(filter.find("no filter events"), std::string::npos);
  EXPECT_NE(filter.find("November 2026"), std::string::npos);
}

TEST(ReportHtmlTest, BarsAreTableCellsScaledToTheBusiestSite) {
  std::string html = RenderActivityReport(
      OneUserActivity({"alice", "10.0.0.7", "PC-7"}, 1310,
                      {{"a.example", 1000}, {"b.example", 250}, {"c.example", 0}}, 5));
  // The top users, the top sites, then alice's own sites.
  EXPECT_EQ(BarWidths(html), (std::vector<int>{200, 200, 50, 1, 200, 50, 1}));
  EXPECT_NE(html.find("1,310 requests in total on 5 sites"), std::string::npos);
  EXPECT_NE(html.find("and 2 more sites"), std::string::npos);
  EXPECT_NE(html.find("alice <small>(10.0.0.7, PC-7)</small>"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_EQ(Occurrences(html, "<table"), Occurrences(html, "</table>"));
  EXPECT_EQ(Occurrences(html, "<tr>"), Occurrences(html, "</tr>"));
}

TEST(ReportHtmlTest, FilterEventsShowTimeAddressAndAction) {
  ScopedTimeZone zone("UTC");
  std::string html = RenderFilterReport(OneUserFilter(
      {"bob", "10.0.0.2", ""},
      {{1, "casino.example/", dbDateTime(LocalTime(2026, 12, 7, 14, 7, 33)), "blocked", 1}}, 4));
  EXPECT_NE(html.find("<td>2026-12-07 14:07:33</td><td>casino.example/</td><td>blocked</td>"),
            std::string::npos);
  EXPECT_NE(html.find("4 filter events"), std::string::npos);
  EXPECT_NE(html.find("&#8230; and 3 earlier events"), std::string::npos);
  EXPECT_NE(html.find("bob <small>(10.0.0.2)</small>"), std::string::npos);
}

// A thousand users whose every text is as long and as full of characters
// to escape as can be: the report still fits in a mail.
TEST(ReportHtmlTest, TheWorstMonthStaysUnderOneMegabyte) {
  const std::string nasty(500, '&');
  ActivityReport activity{"Monthly activity report", "November 2026", {}};
  FilterReport filter{"Monthly filter report", "November 2026", {}};
  for (int u = 0; u < 1000; ++u) {
    UserLabel label{nasty + std::to_string(u), nasty, nasty};
    std::vector<NamedCount> sites(30, {nasty, 1000 - u});
    activity.activity.users.push_back({label, 30000 - u, 600, sites});
    std::vector<FilterActivityRow> latest(30, {1, nasty, dbDateTime(0), nasty, u});
    filter.events.users.push_back({label, 300, std::vector<NamedCount>(30, {nasty, 10}), latest});
  }
  activity.activity.top_sites = activity.activity.users[0].top_sites;
  filter.events.actions = filter.events.users[0].actions;
  filter.events.top_blocked_sites = filter.events.actions;
  for (const std::string& html : {RenderActivityReport(activity), RenderFilterReport(filter)}) {
    EXPECT_LT(html.size(), 1000000u);
    EXPECT_EQ(html.find(nasty), std::string::npos);  // cut as well as escaped
    EXPECT_NE(html.find(" more users</p>"), std::string::npos);
  }
  EXPECT_EQ(ShowText(std::string(70, 'x')), std::string(kMaxTextChars, 'x') + "...");
  EXPECT_EQ(ShowText("\xc3\xa9" + std::string(70, 'x')).substr(0, 3), "\xc3\xa9x");
  EXPECT_EQ(Thousands(2113), "2,113");
  EXPECT_EQ(Thousands(-1234567), "-1,234,567");
}

}  // namespace
