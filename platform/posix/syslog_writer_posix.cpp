#include <sys/stat.h>
#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/syslog_writer.h"

namespace platform {

void WriteSyslog(const std::string& source, SyslogPriority priority, const std::string& text) {
  // openlog keeps the identity pointer, so it must outlive the call.
  static std::mutex mu;
  static std::string ident;
  std::lock_guard<std::mutex> lock(mu);
  if (ident != source) {
    ident = source;
    openlog(ident.c_str(), LOG_PID, LOG_DAEMON);
  }
  syslog(LOG_DAEMON | static_cast<int>(priority), "%s", text.c_str());
}

bool StandardOutputIsJournal() {
  static const bool is_journal = [] {
    const char* stream = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0, inode = 0;
    if (stream == nullptr || std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
    struct stat st {};
    if (fstat(1, &st) != 0) return false;
    return static_cast<unsigned long long>(st.st_dev) == device &&
           static_cast<unsigned long long>(st.st_ino) == inode;
  }();
  return is_journal;
}

}  // namespace platform
