#include "tools/ledgerix/sites_report_html.h"

#include "tools/ledgerix/html_parts.h"

namespace {

std::string Cell(const std::string& html, bool right) {
  return std::string(right ? "<td align=\"right\">" : "<td>") + html + "</td>";
}

}  // namespace

std::string RenderSitesReport(const SitesReport& report) {
  std::string html = Heading(report.title, report.period);
  if (report.sites.empty()) return html;
  const std::vector<NamedCount>& first = report.sites.front().figures;
  html += TableStart() + "<tr><th align=\"left\">Site</th>";
  for (const NamedCount& figure : first)
    html += "<th align=\"right\">" + EscapeHtml(figure.name) + "</th>";
  html += "</tr>\n";
  std::vector<int64_t> totals(first.size(), 0);
  for (const SiteFigures& site : report.sites) {
    html += "<tr>" + Cell(ShowText(site.site), false);
    for (size_t i = 0; i < site.figures.size() && i < totals.size(); ++i) {
      html += Cell(Thousands(site.figures[i].count), true);
      totals[i] += site.figures[i].count;
    }
    html += "</tr>\n";
  }
  html += "<tr>" + Cell("<b>All sites</b>", false);
  for (size_t i = 0; i < totals.size(); ++i) {
    const bool summed = i < report.summed.size() && report.summed[i];
    html += Cell(summed ? "<b>" + Thousands(totals[i]) + "</b>" : "&#8212;", true);
  }
  html += "</tr>\n</table>\n";
  for (const SiteFigures& site : report.sites) {
    html += SubHeading(ShowText(site.site) + ": " + EscapeHtml(report.users_heading));
    if (site.top_users.empty()) {
      html += Paragraph("Nothing was recorded for this site in this period.");
    } else {
      html += CountTable("User", report.count_heading.c_str(), site.top_users, true);
    }
  }
  return html;
}
