// The event log on Linux: syslog(3), facility daemon, priority info.
#ifndef PLATFORM_SYSLOG_WRITER_H_
#define PLATFORM_SYSLOG_WRITER_H_

#include <string>

namespace platform {

// Writes one information entry with `source` as the identity.
void WriteSyslogInfo(const std::string& source, const std::string& text);

}  // namespace platform

#endif  // PLATFORM_SYSLOG_WRITER_H_
