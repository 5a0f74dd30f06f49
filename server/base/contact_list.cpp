#include "server/base/contact_list.h"

#include <optional>
#include <string>

#include "common/contact_values.h"

namespace {

// Takes the next comma-ended value of `line`, after skipping commas in
// front of it; consumes the ending comma. Nothing when no comma follows.
std::optional<std::string> NextValue(std::string_view* line) {
  size_t start = line->find_first_not_of(',');
  if (start == std::string_view::npos) return std::nullopt;
  size_t comma = line->find(',', start);
  if (comma == std::string_view::npos) return std::nullopt;
  std::string value(line->substr(start, comma - start));
  line->remove_prefix(comma + 1);
  return value;
}

std::string_view TrimTrailingSpace(std::string_view s) {
  size_t end = s.find_last_not_of(" \t\r\n\v\f");
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

std::optional<IpLogRow> ParseLine(std::string_view line) {
  IpLogRow row;
  auto user = NextValue(&line);
  auto ip = user ? NextValue(&line) : std::nullopt;
  auto computer = ip ? NextValue(&line) : std::nullopt;
  if (!computer) return std::nullopt;
  // A row an older tool kept would forge lines for the IP log's readers.
  if (!LineTextProblem(*user).empty() || !LineTextProblem(*ip).empty() ||
      !LineTextProblem(*computer).empty() || !LineTextProblem(TrimTrailingSpace(line)).empty())
    return std::nullopt;
  row.user = std::move(*user);
  row.ip = std::move(*ip);
  row.computer = std::move(*computer);
  // Everything after the third separating comma, commas included.
  row.status = std::string(TrimTrailingSpace(line));
  return row;
}

}  // namespace

std::vector<IpLogRow> ParseContactList(std::string_view output) {
  std::vector<IpLogRow> rows;
  for (size_t lf; (lf = output.find('\n')) != std::string_view::npos;) {
    if (auto row = ParseLine(output.substr(0, lf))) rows.push_back(std::move(*row));
    output.remove_prefix(lf + 1);
  }
  return rows;
}
