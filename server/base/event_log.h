// The server's one writer of run-time messages, and its message boxes.
//
// In service mode a message is one entry in the system log under the
// service name, at its priority; otherwise it is a line on standard output
// (with the journal's "<N>" priority prefix only when that output is the
// journal's stream, never on a terminal). Service mode is process-wide
// state that the service entry sets.
#ifndef SERVER_BASE_EVENT_LOG_H_
#define SERVER_BASE_EVENT_LOG_H_

#include <cstddef>
#include <functional>
#include <string>

inline constexpr const char kServiceName[] = "VantryServer";

// What a line means to whoever watches the server: kWarning for work lost
// or held back that the server carries on without (a report not sent, an
// IP log left as it was, logs left in Logs/, a full queue), kError for a
// part that stopped working (the port not listened on, a night that
// failed, an unreadable configuration), kInfo for routine lines.
enum class EventPriority { kError, kWarning, kInfo };

inline constexpr size_t kMaxEventLogLine = 255;

// printf-style; the text is cut at kMaxEventLogLine characters. Without a
// priority, kInfo.
void WriteEventLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void WriteEventLog(EventPriority priority, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

void SetEventLogServiceMode(bool on);

// A message box: "<caption>: <text>" on standard error, and in service mode
// also in the system log. Never blocks.
void ShowMessageBox(const std::string& caption, const std::string& text);

// Lets a test see every message instead of standard output; empty restores.
void SetEventLogSinkForTesting(std::function<void(const std::string&)> sink);
// The same, with each message's priority.
void SetEventLogPrioritySinkForTesting(std::function<void(EventPriority, const std::string&)> sink);

#endif  // SERVER_BASE_EVENT_LOG_H_
