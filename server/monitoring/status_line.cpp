#include "server/monitoring/status_line.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "platform/clock.h"

namespace {

std::string LocalClock(int64_t t) {
  std::tm local{};
  if (!platform::ToLocalTime(t, &local)) return "?";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return buf;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string line;
  for (const std::string& part : parts) line += (line.empty() ? "" : "; ") + part;
  return line;
}

}  // namespace

std::string WithThousands(uint64_t n) {
  std::string digits = std::to_string(n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ",");
  return digits;
}

std::string StatusLine(const server_metrics::StatusFigures& s, uint64_t reports_today) {
  std::vector<std::string> parts;
  if (!s.listening) parts.push_back("NOT listening on the agents' port");
  if (s.ip_log_kept) parts.push_back("IP log left as it was");
  if (s.night_start != 0 && !s.night_succeeded) parts.push_back("last night FAILED");
  if (s.night_logs_left > 0)
    parts.push_back(WithThousands(uint64_t(s.night_logs_left)) + " logs left in Logs/");
  if (s.last_not_sent_at != 0 && s.last_not_sent_at >= s.last_sent_at)
    parts.push_back("a report was NOT sent at " + LocalClock(s.last_not_sent_at));

  if (s.ip_log_at != 0)
    parts.push_back("IP log " + WithThousands(uint64_t(s.ip_log_rows)) + " rows at " +
                    LocalClock(s.ip_log_at));
  else
    parts.push_back("IP log not written since start");
  parts.push_back(WithThousands(reports_today) + " reports today");
  if (s.night_start != 0)
    parts.push_back("last night " + WithThousands(uint64_t(s.night_logs)) + " logs at " +
                    LocalClock(s.night_start + static_cast<int64_t>(s.night_seconds)));
  if (s.last_sent_at != 0)
    parts.push_back("reports sent " + WithThousands(s.reports_sent) + " at " +
                    LocalClock(s.last_sent_at));
  return Join(parts);
}
