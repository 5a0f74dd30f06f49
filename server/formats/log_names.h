// Names of the nightly logs in the logs folder: the day a log covers, the
// wildcard of a day's per-user daily logs, the filter log's name, and the
// user name and address taken from a per-user log's name.
// Pure functions (local time honours TZ); any thread.
#ifndef SERVER_FORMATS_LOG_NAMES_H_
#define SERVER_FORMATS_LOG_NAMES_H_

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

struct LogDate {
  int day = 0;    // 1-31
  int month = 0;  // 1-12
  int year = 0;   // four digits

  // Calendar order.
  auto operator<=>(const LogDate& other) const {
    return std::tie(year, month, day) <=> std::tie(other.year, other.month, other.day);
  }
  bool operator==(const LogDate& other) const = default;
};

// The local calendar day of `now`, and the one before it.
LogDate LocalDay(int64_t now);
LogDate PreviousDay(int64_t now);

// The time a row of `day` is stored with: that day's local date at the
// local time of day of `now` (daylight saving settled for that date, so a
// row never lands on a neighbouring day).
int64_t TimeOnDay(const LogDate& day, int64_t now);

// The day a log's name gives: "DD_MM_YYYY_..." for a per-user daily log,
// "Filter_DD_MM_YYYY.log" for a filter log; nothing for any other name or
// a date that is not on the calendar.
std::optional<LogDate> DailyLogDate(const std::string& name);
std::optional<LogDate> FilterLogDate(const std::string& name);

// "05_03_2026_*": day and month with two digits, the year with four.
std::string DailyLogPattern(const LogDate& date);
// "Filter_05_03_2026.log".
std::string FilterLogName(const LogDate& date);

// From a per-user log's name: the 11-character date prefix is dropped; the
// user is the rest up to its first "_" and the address everything after
// it. When that leaves no user ("_" missing or first), both are the rest.
void SplitDailyLogName(const std::string& name, std::string* user, std::string* address);

// A user name or address taken from a file name may reach the database and
// the IP log only when it is not empty and breaks no line of the IP log
// (BreaksContactList: a comma, a control character, U+2028 / U+2029,
// bytes that are not UTF-8).
bool IsUsableNamePart(const std::string& text);

// A report file's name contains "report" (case-sensitive).
bool IsReportFileName(const std::string& name);

#endif  // SERVER_FORMATS_LOG_NAMES_H_
