#include "server/base/event_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/syslog_writer.h"

namespace {

std::atomic<bool> g_service_mode{false};
std::mutex g_mu;
std::function<void(const std::string&)> g_sink;  // guarded by g_mu

}  // namespace

void SetEventLogServiceMode(bool on) { g_service_mode = on; }

void SetEventLogSinkForTesting(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_sink = std::move(sink);
}

void WriteEventLog(const char* format, ...) {
  char buf[kMaxEventLogLine + 1];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  std::string text(buf);
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_sink) {
    g_sink(text);
  } else if (g_service_mode) {
    platform::WriteSyslogInfo(kServiceName, text);
  } else {
    // Flushed per line: standard output is often a pipe or a journal.
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
  }
}

void ShowMessageBox(const std::string& caption, const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_sink) {
    g_sink(caption + ": " + text);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  if (g_service_mode) platform::WriteSyslogInfo(kServiceName, caption + ": " + text);
}
