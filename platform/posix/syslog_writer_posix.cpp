#include <syslog.h>

#include <mutex>

#include "platform/syslog_writer.h"

namespace platform {

void WriteSyslogInfo(const std::string& source, const std::string& text) {
  // openlog keeps the identity pointer, so it must outlive the call.
  static std::mutex mu;
  static std::string ident;
  std::lock_guard<std::mutex> lock(mu);
  if (ident != source) {
    ident = source;
    openlog(ident.c_str(), LOG_PID, LOG_DAEMON);
  }
  syslog(LOG_DAEMON | LOG_INFO, "%s", text.c_str());
}

}  // namespace platform
