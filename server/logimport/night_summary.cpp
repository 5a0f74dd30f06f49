#include "server/logimport/night_summary.h"

#include <algorithm>

#include "server/base/event_log.h"
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

// A cause as the line may show it within `max` characters: its start and
// its end, since the end of a failure's message usually says why (a
// database client's "...: Connection refused").
std::string Cause(const std::string& text, size_t max) {
  constexpr char kCut[] = "...";
  if (text.size() <= max) return Printable(text, max);
  const size_t kept = max > sizeof kCut ? max - (sizeof kCut - 1) : 1;
  const size_t head = kept / 3;
  return Printable(text.substr(0, head), head) + kCut +
         Printable(text.substr(text.size() - (kept - head)), kept);
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
    line += "; the IP log was not rebuilt (" + Cause(s.ip_log_error, 70) + ")";
  if (!s.removal_error.empty())
    line += "; old rows were not removed (" + Cause(s.removal_error, 70) + ")";
  // The night's own cause takes what the event log's line has left.
  if (!s.error.empty()) {
    const size_t room = kMaxEventLogLine > line.size() + 3 ? kMaxEventLogLine - line.size() - 3 : 0;
    line += " (" + Cause(s.error, std::max<size_t>(room, 40)) + ")";
  }
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
