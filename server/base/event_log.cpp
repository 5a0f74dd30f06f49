#include "server/base/event_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/syslog_writer.h"

namespace {

std::atomic<bool> g_service_mode{false};
std::mutex g_mu;
std::function<void(EventPriority, const std::string&)> g_sink;  // guarded by g_mu

platform::SyslogPriority SyslogPriorityOf(EventPriority priority) {
  switch (priority) {
    case EventPriority::kError:
      return platform::SyslogPriority::kError;
    case EventPriority::kWarning:
      return platform::SyslogPriority::kWarning;
    case EventPriority::kInfo:
      break;
  }
  return platform::SyslogPriority::kInfo;
}

void Write(EventPriority priority, const char* format, va_list args) {
  char buf[kMaxEventLogLine + 1];
  std::vsnprintf(buf, sizeof buf, format, args);
  std::string text(buf);
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_sink) {
    g_sink(priority, text);
  } else if (g_service_mode) {
    platform::WriteSyslog(kServiceName, SyslogPriorityOf(priority), text);
  } else if (platform::StandardOutputIsJournal()) {
    std::fprintf(stdout, "<%d>%s\n", static_cast<int>(SyslogPriorityOf(priority)), text.c_str());
    std::fflush(stdout);
  } else {
    // Flushed per line: standard output is often a pipe or a journal.
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
  }
}

}  // namespace

void SetEventLogServiceMode(bool on) { g_service_mode = on; }

void SetEventLogSinkForTesting(std::function<void(const std::string&)> sink) {
  if (!sink) return SetEventLogPrioritySinkForTesting(nullptr);
  SetEventLogPrioritySinkForTesting(
      [sink = std::move(sink)](EventPriority, const std::string& text) { sink(text); });
}

void SetEventLogPrioritySinkForTesting(
    std::function<void(EventPriority, const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_sink = std::move(sink);
}

void WriteEventLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(EventPriority::kInfo, format, args);
  va_end(args);
}

void WriteEventLog(EventPriority priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(priority, format, args);
  va_end(args);
}

void ShowMessageBox(const std::string& caption, const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_sink) {
    g_sink(EventPriority::kError, caption + ": " + text);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  if (g_service_mode)
    platform::WriteSyslog(kServiceName, platform::SyslogPriority::kError, caption + ": " + text);
}
