#include "server/logimport/night_summary.h"

#include "server/base/server_metrics.h"

namespace {

constexpr size_t kMaxNameShown = 48;

// A text as the event log may show it: a file name can hold line breaks,
// which must not start a line of their own there.
std::string Printable(const std::string& text, size_t max = kMaxNameShown) {
  std::string shown;
  for (char c : text.substr(0, max)) {
    const unsigned char u = static_cast<unsigned char>(c);
    shown += (u < 0x20 || u == 0x7f) ? '?' : c;
  }
  if (text.size() > max) shown += "...";
  return shown;
}

std::string Plural(int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string LeftLine(const std::vector<NightSummary::LeftLog>& left) {
  std::string line = "Left in Logs/:";
  for (size_t i = 0; i < left.size() && i < kNamedLeft; ++i)
    line += std::string(i ? ";" : "") + " " + Printable(left[i].name) + " (" + left[i].reason + ")";
  if (left.size() > kNamedLeft)
    line += "; and " + std::to_string(left.size() - kNamedLeft) + " more";
  return line;
}

}  // namespace

std::vector<std::string> NightSummaryLines(const NightSummary& s) {
  const char* outcome = !s.database_opened || !s.error.empty() ? " failed"
                        : s.stopped                            ? " stopped early"
                                                               : "";
  std::string line = "Nightly import of " + Plural(s.days, "day", "days") + outcome + ": ";
  line += Plural(s.logs_imported, "log", "logs") + " with " +
          Plural(s.lines_imported, "line", "lines") + " imported, " +
          Plural(s.lines_dropped, "line", "lines") + " dropped";
  if (s.logs_already_imported > 0)
    line += ", " + Plural(s.logs_already_imported, "log", "logs") + " already imported removed";
  line += ", " + Plural(static_cast<int64_t>(s.left.size()), "log", "logs") + " left in Logs/";
  if (s.database_opened && !s.ip_log_rebuilt)
    line += "; the IP log was not rebuilt (" + Printable(s.ip_log_error, 80) + ")";
  if (!s.removal_error.empty())
    line += "; old rows were not removed (" + Printable(s.removal_error, 80) + ")";
  if (!s.error.empty()) line += " (" + Printable(s.error, 120) + ")";
  std::vector<std::string> lines{line};
  if (!s.left.empty()) lines.push_back(LeftLine(s.left));
  return lines;
}

EventPriority NightSummaryPriority(const NightSummary& s) {
  if (!s.database_opened || !s.error.empty()) return EventPriority::kError;
  const bool ip_log_kept = s.database_opened && !s.ip_log_rebuilt;
  if (s.stopped || !s.left.empty() || ip_log_kept || !s.removal_error.empty())
    return EventPriority::kWarning;
  return EventPriority::kInfo;
}

void PublishNightMetrics(const NightSummary& s, int64_t start,
                         std::chrono::steady_clock::time_point started) {
  server_metrics::NightFigures figures;
  figures.start = start;
  figures.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  figures.logs = s.logs_imported;
  figures.lines = s.lines_imported;
  figures.dropped_lines = s.lines_dropped;
  figures.logs_left = static_cast<int64_t>(s.left.size());
  figures.succeeded = s.database_opened && s.error.empty() && !s.stopped;
  server_metrics::NightDone(figures);
}
