// The server's one writer of run-time messages, and its message boxes.
//
// In service mode a message is one information entry in the system log
// under the service name; otherwise it is a line on standard output.
// Service mode is process-wide state that the service entry sets.
#ifndef SERVER_BASE_EVENT_LOG_H_
#define SERVER_BASE_EVENT_LOG_H_

#include <cstddef>
#include <functional>
#include <string>

inline constexpr const char kServiceName[] = "VantryServer";

inline constexpr size_t kMaxEventLogLine = 255;

// printf-style; the text is cut at kMaxEventLogLine characters.
void WriteEventLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

void SetEventLogServiceMode(bool on);

// A message box: "<caption>: <text>" on standard error, and in service mode
// also in the system log. Never blocks.
void ShowMessageBox(const std::string& caption, const std::string& text);

// Lets a test see every message instead of standard output; empty restores.
void SetEventLogSinkForTesting(std::function<void(const std::string&)> sink);

#endif  // SERVER_BASE_EVENT_LOG_H_
