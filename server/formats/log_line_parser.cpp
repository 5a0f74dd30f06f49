#include "server/formats/log_line_parser.h"

#include <algorithm>
#include <limits>

#include "platform/parse_digits.h"

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t ReadNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  size_t digits = i;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits == i) return 0;
  // Saturated, as the logs' writer reads them: past the range, its end.
  constexpr uint64_t kLimit = uint64_t{std::numeric_limits<int32_t>::max()} + 1;
  uint64_t magnitude = std::min(
      platform::ParseDigits<uint64_t>(text.substr(i, digits - i)).value_or(kLimit), kLimit);
  if (negative) return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  return static_cast<int32_t>(std::min(magnitude, kLimit - 1));
}

SiteLine ParseRequestLine(std::string_view decoded) {
  SiteLine line;
  size_t star = decoded.find('*');
  line.number =
      ReadNumber(star == std::string_view::npos ? std::string_view() : decoded.substr(0, star));
  size_t request = decoded.find("Request:");
  // Without "Request:" the host is taken as if it began one character
  // before the line: from the line's 9th character.
  size_t host = request == std::string_view::npos ? 8 : request + 9;
  if (host >= decoded.size()) return line;
  size_t slash = decoded.find('/', host);
  if (slash == std::string_view::npos) return line;
  line.key = decoded.substr(host, slash - host);
  return line;
}

SiteLine ParseReportLine(std::string_view text) {
  SiteLine line;
  size_t space = text.find(' ');
  if (space == std::string_view::npos) return line;
  line.key = text.substr(0, space);
  line.number = ReadNumber(text.substr(space + 1));
  return line;
}
