#include "server/base/kept_reports.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

#include "common/html_page.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace {

// Reports name users, addresses and sites: the service's account alone
// reads them, whatever the umask of whoever runs the server.
constexpr int kKeptReportMode = 0600;

// The report's name in a file name: "daily activity" as "daily-activity".
std::string KindText(const ReportEntry& report) {
  std::string kind = report.name;
  std::replace(kind.begin(), kind.end(), ' ', '-');
  return kind;
}

// "Daily activity report".
std::string Title(const ReportEntry& report) {
  std::string title = std::string(report.name) + " report";
  if (!title.empty() && title[0] >= 'a' && title[0] <= 'z') title[0] -= 'a' - 'A';
  return title;
}

// A kept report's file name taken apart: its day and its table entry.
struct KeptName {
  std::string name;
  std::string day;   // "2027-01-01"
  size_t order = 0;  // in the report table
  const ReportEntry* report = nullptr;
  bool sent = true;
};

constexpr char kNotSentSuffix[] = "-not-sent";

// "2027-01-01": the local day of `t`.
std::string LocalDayText(int64_t t) {
  std::tm local{};
  if (!platform::ToLocalTime(t, &local)) local.tm_year = 70, local.tm_mday = 1;
  char day[48];
  std::snprintf(day, sizeof day, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  return day;
}

std::optional<KeptName> ParseKeptName(const std::string& name) {
  const std::vector<ReportEntry>& table = ReportTable();
  for (size_t i = 0; i < table.size(); ++i) {
    for (bool sent : {true, false}) {
      const std::string tail = "-" + KindText(table[i]) + (sent ? "" : kNotSentSuffix) + ".html";
      if (name.size() != 10 + tail.size() || name.compare(10, std::string::npos, tail) != 0)
        continue;
      for (size_t at = 0; at < 10; ++at) {
        const bool dash = at == 4 || at == 7;
        if (dash ? name[at] != '-' : (name[at] < '0' || name[at] > '9')) return std::nullopt;
      }
      return KeptName{name, name.substr(0, 10), i, &table[i], sent};
    }
  }
  return std::nullopt;
}

// The kept reports in `folder`, newest day first, a day's in table order.
std::vector<KeptName> ListKept(const std::string& folder) {
  std::vector<KeptName> kept;
  for (const std::string& name : platform::ListMatchingFiles(folder, "*.html")) {
    if (std::optional<KeptName> parsed = ParseKeptName(name)) kept.push_back(*parsed);
  }
  std::sort(kept.begin(), kept.end(), [](const KeptName& a, const KeptName& b) {
    return a.day != b.day ? a.day > b.day : a.order < b.order;
  });
  return kept;
}

std::string IndexPage(const std::vector<KeptName>& kept) {
  std::string body =
      "<h2 style=\"font-family:Arial,sans-serif;margin:0 0 12px 0\">Reports sent</h2>\n";
  if (kept.empty()) return HtmlPage("Reports sent", body + "<p>No report has been kept.</p>\n");
  body +=
      "<table width=\"100%\" cellpadding=\"4\" cellspacing=\"0\" border=\"1\" "
      "style=\"border-collapse:collapse;font-family:Arial,sans-serif;font-size:14px\">\n"
      "<tr><th align=\"left\" width=\"120\">Sent on</th><th align=\"left\">Report</th></tr>\n";
  for (const KeptName& entry : kept) {
    // A report whose mail failed was produced that day, not sent.
    body += "<tr><td>" + (entry.sent ? entry.day : "<b>not sent</b> (" + entry.day + ")") +
            "</td><td><a href=\"" + EscapeHtml(entry.name) + "\">" +
            EscapeHtml(Title(*entry.report)) + "</a>" + (entry.sent ? "" : " <b>(not sent)</b>") +
            "</td></tr>\n";
  }
  return HtmlPage("Reports sent", body + "</table>\n");
}

bool WriteIndex(const std::string& folder, std::string* error) {
  return platform::WriteFileAtomically(folder + kReportsIndexName, IndexPage(ListKept(folder)),
                                       error, kKeptReportMode);
}

}  // namespace

std::string KeptReportName(const ReportEntry& report, int64_t when, bool sent) {
  return LocalDayText(when) + "-" + KindText(report) + (sent ? "" : kNotSentSuffix) + ".html";
}

bool KeepReport(const std::string& install_path, const ReportEntry& report, int64_t when,
                const std::string& report_html, std::string* error, bool sent) {
  const std::string folder = install_path + kKeptReportsFolder;
  if (!platform::MakeDirectories(folder)) {
    *error = "cannot make the folder " + folder;
    return false;
  }
  const std::string name = KeptReportName(report, when, sent);
  const std::string title =
      Title(report) + (sent ? " sent on " : " not sent, produced on ") + name.substr(0, 10);
  if (!platform::WriteFileAtomically(folder + name, HtmlPage(title, report_html), error,
                                     kKeptReportMode))
    return false;
  // The day's page of the other kind goes: one page per report and day.
  platform::RemoveFile(folder + KeptReportName(report, when, !sent));
  return WriteIndex(folder, error);
}

int RemoveKeptReportsBefore(const std::string& install_path, int64_t cutoff) {
  const std::string folder = install_path + kKeptReportsFolder;
  const std::string first_kept = LocalDayText(cutoff);
  int removed = 0;
  for (const KeptName& entry : ListKept(folder)) {
    if (entry.day < first_kept && platform::RemoveFile(folder + entry.name)) ++removed;
  }
  std::string ignored;
  if (removed > 0) WriteIndex(folder, &ignored);
  return removed;
}
