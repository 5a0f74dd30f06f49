// The event log on Linux: syslog(3), facility daemon, and the journal's
// priority prefixes for a standard output that systemd reads.
#ifndef PLATFORM_SYSLOG_WRITER_H_
#define PLATFORM_SYSLOG_WRITER_H_

#include <string>

namespace platform {

// syslog's own numbers (LOG_ERR, LOG_WARNING, LOG_INFO).
enum class SyslogPriority { kError = 3, kWarning = 4, kInfo = 6 };

// Writes one entry with `source` as the identity.
void WriteSyslog(const std::string& source, SyslogPriority priority, const std::string& text);
inline void WriteSyslogInfo(const std::string& source, const std::string& text) {
  WriteSyslog(source, SyslogPriority::kInfo, text);
}

// True when standard output is the journal's stream: JOURNAL_STREAM names
// its device and inode (systemd.exec(5)). Lines written there may start
// with "<N>" to carry their priority (sd-daemon(3)); a terminal or a pipe
// of someone else's never sees them. Read once.
bool StandardOutputIsJournal();

}  // namespace platform

#endif  // PLATFORM_SYSLOG_WRITER_H_
