#include "tools/ledgerix/html_parts.h"

#include <algorithm>

#include "tools/ledgerix/report_period.h"

namespace {

const char kBarColour[] = "#3a6ea5";
const char kFont[] = "font-family:Arial,sans-serif";
// Long words (addresses) break where needed instead of widening the mail.
// word-wrap is the older name of overflow-wrap, so it comes first: the
// later declaration wins where both are known, and only "anywhere" also
// narrows the width a table gives the text.
const char kWrap[] = "word-wrap:break-word;overflow-wrap:anywhere";

// The byte length of the first `chars` UTF-8 characters of `text`.
size_t PrefixBytes(const std::string& text, size_t chars) {
  size_t at = 0;
  for (size_t n = 0; at < text.size() && n < chars; ++n) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return at;
}

}  // namespace

std::string ShowText(const std::string& text) {
  size_t keep = PrefixBytes(text, kMaxTextChars);
  if (keep == text.size()) return EscapeHtml(text);
  return EscapeHtml(text.substr(0, keep)) + "...";
}

std::string Thousands(int64_t n) {
  const uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  const std::string digits = std::to_string(magnitude);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
}

std::string CountOf(int64_t n, const char* one, const char* many) {
  return Thousands(n) + " " + (n == 1 ? one : many);
}

std::string Heading(const std::string& title, const std::string& period) {
  return std::string("<h2 style=\"") + kFont + ";margin:0 0 4px 0\">" + EscapeHtml(title) +
         "</h2>\n<p style=\"" + kFont + ";margin:0 0 12px 0\">" + EscapeHtml(period) + "</p>\n";
}

std::string SubHeading(const std::string& html) {
  return std::string("<h3 style=\"") + kFont + ";" + kWrap + ";margin:18px 0 6px 0\">" + html +
         "</h3>\n";
}

std::string UserText(const UserLabel& user) {
  std::string html = user.name.empty() ? "(unknown user)" : ShowText(user.name);
  if (!user.ip.empty() || !user.computer.empty()) {
    html += " <small>(" + ShowText(user.ip);
    if (!user.ip.empty() && !user.computer.empty()) html += ", ";
    html += ShowText(user.computer) + ")</small>";
  }
  return html;
}

std::string Paragraph(const std::string& html) {
  return std::string("<p style=\"") + kFont + ";" + kWrap + ";margin:4px 0\">" + html + "</p>\n";
}

std::string LeftOut(int64_t n, const char* one, const char* many) {
  return std::string("<p style=\"") + kFont + ";font-size:12px;color:#555555;margin:4px 0\">" +
         "&#8230; and " + CountOf(n, one, many) + "</p>\n";
}

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

std::string TableStart() {
  return std::string(
             "<table width=\"100%\" cellpadding=\"3\" cellspacing=\"0\" border=\"1\" "
             "style=\"border-collapse:collapse;table-layout:fixed;") +
         kFont + ";font-size:13px;" + kWrap + "\">\n";
}

std::string CountTableHead(const char* name_heading, const char* count_heading) {
  return TableStart() + "<tr><th align=\"left\">" + name_heading +
         "</th><th align=\"right\" width=\"80\">" + count_heading + "</th><th width=\"" +
         std::to_string(kBarWidth + 6) + "\"></th></tr>\n";
}

std::string CountRow(const std::string& name_html, int64_t count, int64_t largest) {
  return "<tr><td>" + name_html + "</td><td align=\"right\">" + Thousands(count) + "</td><td>" +
         Bar(count, largest) + "</td></tr>\n";
}

std::string CountTable(const char* name_heading, const char* count_heading,
                       const std::vector<NamedCount>& rows, bool names_are_html) {
  int64_t largest = 0;
  for (const NamedCount& row : rows) largest = std::max(largest, row.count);
  std::string html = CountTableHead(name_heading, count_heading);
  for (const NamedCount& row : rows)
    html += CountRow(names_are_html ? row.name : ShowText(row.name), row.count, largest);
  return html + "</table>\n";
}

std::string FigureTable(const std::vector<NamedCount>& figures) {
  std::string html =
      std::string("<table cellpadding=\"3\" cellspacing=\"0\" border=\"0\" style=\"") + kFont +
      ";font-size:14px\">\n";
  for (const NamedCount& figure : figures) {
    html += "<tr><td>" + EscapeHtml(figure.name) +
            "</td><td align=\"right\" style=\"font-weight:bold\">" + Thousands(figure.count) +
            "</td></tr>\n";
  }
  return html + "</table>\n";
}

std::string ActionSummary(const std::vector<NamedCount>& actions, size_t n) {
  std::string text;
  for (size_t i = 0; i < std::min(n, actions.size()); ++i) {
    if (i > 0) text += ", ";
    text += (actions[i].name.empty() ? "(no action)" : ShowText(actions[i].name)) + " " +
            Thousands(actions[i].count);
  }
  if (actions.size() > n) text += ", &#8230;";
  return text;
}

std::string EventTableHead() {
  return TableStart() +
         "<tr><th align=\"left\" width=\"140\">Time</th><th align=\"left\">Address"
         "</th><th align=\"left\" width=\"110\">Action</th></tr>\n";
}

std::string EventRow(const FilterActivityRow& event) {
  return "<tr><td>" + FormatLocalTime(event.time.stamp) + "</td><td>" + ShowText(event.url) +
         "</td><td>" + ShowText(event.action) + "</td></tr>\n";
}
