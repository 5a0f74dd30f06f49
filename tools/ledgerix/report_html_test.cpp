#include "tools/ledgerix/report_html.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(ReportHtmlTest, EscapesEverythingFromTheLogs) {
  EXPECT_EQ(EscapeHtml("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&#39;");
  ActivityReport report{"Daily activity report", "Monday 7 December 2026", {}};
  report.users.push_back({{"<script>alert(1)</script>", "10.0.0.1\"><b>", "PC&1"},
                          5,
                          {{"evil.example/<img src=x>", 5}},
                          0});
  std::string html = RenderActivityReport(report);
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_EQ(html.find("\"><b>"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("PC&amp;1"), std::string::npos);

  FilterReport filter{"Daily filter report", "Monday 7 December 2026", {}};
  filter.users.push_back({{"m&m", "", ""}, {{0, "x.example/?a=1&b=<2>", "block'ed"}}, 0});
  html = RenderFilterReport(filter);
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
  ActivityReport report{"Daily activity report", "day", {}};
  report.users.push_back({{"alice", "10.0.0.7", "PC-7"},
                          1310,
                          {{"a.example", 1000}, {"b.example", 250}, {"c.example", 0}},
                          2});
  std::string html = RenderActivityReport(report);
  EXPECT_EQ(BarWidths(html), (std::vector<int>{200, 50, 1}));
  EXPECT_NE(html.find("1310 requests in total"), std::string::npos);
  EXPECT_NE(html.find("and 2 more sites"), std::string::npos);
  EXPECT_NE(html.find("alice <small>(10.0.0.7, PC-7)</small>"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_EQ(Occurrences(html, "<table"), Occurrences(html, "</table>"));
  EXPECT_EQ(Occurrences(html, "<tr>"), Occurrences(html, "</tr>"));
}

TEST(ReportHtmlTest, FilterEventsShowTimeAddressAndAction) {
  ScopedTimeZone zone("UTC");
  FilterReport report{"Daily filter report", "day", {}};
  report.users.push_back({{"bob", "10.0.0.2", ""},
                          {{LocalTime(2026, 12, 7, 14, 7, 33), "casino.example/", "blocked"}},
                          3});
  std::string html = RenderFilterReport(report);
  EXPECT_NE(html.find("<td>2026-12-07 14:07:33</td><td>casino.example/</td><td>blocked</td>"),
            std::string::npos);
  EXPECT_NE(html.find("4 filter events"), std::string::npos);
  EXPECT_NE(html.find("and 3 later events not listed"), std::string::npos);
  EXPECT_NE(html.find("bob <small>(10.0.0.2)</small>"), std::string::npos);
}

}  // namespace
