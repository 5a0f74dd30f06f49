// One decoded filter-log line: eleven fields, each ended by its own
// separator, and the event they describe. The fields and the event's texts
// are views into the decoded line, valid while it lives. Pure functions;
// any thread.
#ifndef SERVER_FORMATS_FILTER_LINE_H_
#define SERVER_FORMATS_FILTER_LINE_H_

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

inline constexpr size_t kFilterFieldCount = 11;
using FilterFields = std::array<std::string_view, kFilterFieldCount>;

// Takes the fields one after another from the front: each is the text
// before the first occurrence of its separator in what remains, and the
// field with its separator is then removed. A separator that does not occur
// gives an empty field and removes nothing. Separators, in order:
// / / | | | | : : | | _
FilterFields SplitFilterLine(std::string_view decoded);

struct FilterEvent {
  std::string_view user_name;  // field 5, or field 4 when field 5 is empty
  std::string_view url;        // field 10
  std::string_view action;     // field 11
  int64_t time = 0;            // local date and time of the fields, via mktime
};

// The local date and time the fields give, not yet normalised (tm_isdst
// -1). A year of 1900 or less counts as years since 1900.
std::tm FilterEventLocalTime(const FilterFields& fields);

// The event of a split line, its time converted by `convert` (mktime by
// default; the filter-log import passes a cached one).
FilterEvent MakeFilterEvent(const FilterFields& fields);
FilterEvent MakeFilterEvent(const FilterFields& fields,
                            const std::function<int64_t(const std::tm&)>& convert);

#endif  // SERVER_FORMATS_FILTER_LINE_H_
