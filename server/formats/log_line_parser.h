// Parsing of per-user daily log lines into a key and a number, and of the
// decimal numbers in the logs. Pure functions; any thread.
#ifndef SERVER_FORMATS_LOG_LINE_PARSER_H_
#define SERVER_FORMATS_LOG_LINE_PARSER_H_

#include <cstdint>
#include <string>
#include <string_view>

// `key` is a view into the parsed text.
struct SiteLine {
  std::string_view key;  // empty: the line is skipped
  int32_t number = 0;
};

// A decimal integer as the logs write it: leading white space skipped, an
// optional sign, then digits up to the first other character; no digits
// read as 0. Values beyond 32 bits are held at the nearest limit.
int32_t ReadNumber(std::string_view text);

// A decoded request-file record: "<number>*...Request:<c><host>/...". The
// number is the text before the first "*"; the host starts 9 characters
// after the first "Request:" (when there is none, at the line's 9th
// character) and runs to the next "/"; without that "/" the key is empty.
SiteLine ParseRequestLine(std::string_view decoded);

// A report-file line "<key> <number>": the key is the text before the first
// space, the number everything after it; without a space the key is empty.
SiteLine ParseReportLine(std::string_view line);

#endif  // SERVER_FORMATS_LOG_LINE_PARSER_H_
