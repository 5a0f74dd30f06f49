// The pieces the report layouts are made of. Mail clients run no scripts,
// show few images and ignore most style sheets, so everything is tables
// with inline styles, and a bar is a table cell with a background colour.
// Text from the logs is cut to a length a mail can show and escaped; long
// words wrap instead of widening the mail. Pure functions; any thread.
#ifndef TOOLS_LEDGERIX_HTML_PARTS_H_
#define TOOLS_LEDGERIX_HTML_PARTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/html_page.h"  // EscapeHtml
#include "server/db/activity_rows.h"
#include "server/db/report_rows.h"

inline constexpr int kBarWidth = 200;        // pixels of a full bar
inline constexpr size_t kMaxTextChars = 60;  // longer texts are cut

// `text` escaped, cut to kMaxTextChars characters (UTF-8 sequences kept
// whole) with "..." when it was longer.
std::string ShowText(const std::string& text);
// 1234567 as "1,234,567".
std::string Thousands(int64_t n);
// "1 request", "2,113 requests".
std::string CountOf(int64_t n, const char* one, const char* many);

// The report's title and period.
std::string Heading(const std::string& title, const std::string& period);
// A sub-heading, `html` already escaped.
std::string SubHeading(const std::string& html);
// A user's name (or "(unknown user)") with address and computer, escaped.
std::string UserText(const UserLabel& user);
// A paragraph, `html` already escaped.
std::string Paragraph(const std::string& html);
// One line saying what was left out: "… and 740 more users".
std::string LeftOut(int64_t n, const char* one, const char* many);

// A bar of `count` against `largest`, at least one pixel.
std::string Bar(int64_t count, int64_t largest);
// A table of names with counts and bars; `name_heading` heads the first
// column. Names are shown with ShowText unless `names_are_html`.
std::string CountTable(const char* name_heading, const char* count_heading,
                       const std::vector<NamedCount>& rows, bool names_are_html = false);
// CountTable in pieces, for a table cut by size: the opening with its head
// row, then one row each (`name_html` already escaped), then "</table>".
std::string CountTableHead(const char* name_heading, const char* count_heading);
std::string CountRow(const std::string& name_html, int64_t count, int64_t largest);
// A two-column table of figures: label and number.
std::string FigureTable(const std::vector<NamedCount>& figures);
// "blocked 210, allowed 90" for the first `n` actions, "…" when there are
// more; an empty action shows as "(no action)".
std::string ActionSummary(const std::vector<NamedCount>& actions, size_t n);
// A table of filter events (time, address, action) in pieces, like
// CountTableHead and CountRow.
std::string EventTableHead();
std::string EventRow(const FilterActivityRow& event);
// The opening of a fixed-layout table as wide as the mail allows.
std::string TableStart();

#endif  // TOOLS_LEDGERIX_HTML_PARTS_H_
