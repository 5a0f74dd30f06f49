// Names of the nightly logs in the logs folder: the day a night imports,
// the wildcard of that day's per-user daily logs, the filter log's name,
// and the user name and address taken from a per-user log's name.
// Pure functions (local time honours TZ); any thread.
#ifndef SERVER_LOGIMPORT_LOG_NAMES_H_
#define SERVER_LOGIMPORT_LOG_NAMES_H_

#include <cstdint>
#include <string>

struct LogDate {
  int day = 0;    // 1-31
  int month = 0;  // 1-12
  int year = 0;   // four digits
};

// The local calendar day before the local day of `now`.
LogDate PreviousDay(int64_t now);

// "05_03_2026_*": day and month with two digits, the year with four.
std::string DailyLogPattern(const LogDate& date);
// "Filter_05_03_2026.log".
std::string FilterLogName(const LogDate& date);

// From a per-user log's name: the 11-character date prefix is dropped; the
// user is the rest up to its first "_" and the address everything after
// it. When that leaves no user ("_" missing or first), both are the rest.
void SplitDailyLogName(const std::string& name, std::string* user, std::string* address);

// A report file's name contains "report" (case-sensitive).
bool IsReportFileName(const std::string& name);

#endif  // SERVER_LOGIMPORT_LOG_NAMES_H_
