#include "server/formats/filter_line.h"

#include <algorithm>
#include <cstdint>
#include <ctime>

#include "platform/clock.h"
#include "server/formats/log_line_parser.h"

namespace {

constexpr char kSeparators[kFilterFieldCount] = {'/', '/', '|', '|', '|', '|',
                                                 ':', ':', '|', '|', '_'};

}  // namespace

FilterFields SplitFilterLine(std::string_view decoded) {
  FilterFields fields;
  for (size_t i = 0; i < kFilterFieldCount; ++i) {
    size_t at = decoded.find(kSeparators[i]);
    if (at == std::string_view::npos) continue;
    fields[i] = decoded.substr(0, at);
    decoded.remove_prefix(at + 1);
  }
  return fields;
}

std::tm FilterEventLocalTime(const FilterFields& fields) {
  std::tm tm{};
  int year = ReadNumber(fields[2]);
  tm.tm_year = year <= 1900 ? year : year - 1900;
  tm.tm_mon = static_cast<int>(std::max<int64_t>(int64_t{ReadNumber(fields[0])} - 1, INT32_MIN));
  tm.tm_mday = ReadNumber(fields[1]);
  tm.tm_hour = ReadNumber(fields[6]);
  tm.tm_min = ReadNumber(fields[7]);
  tm.tm_sec = ReadNumber(fields[8]);
  tm.tm_isdst = -1;
  return tm;
}

FilterEvent MakeFilterEvent(const FilterFields& fields,
                            const std::function<int64_t(const std::tm&)>& convert) {
  FilterEvent event;
  event.user_name = fields[4].empty() ? fields[3] : fields[4];
  event.url = fields[9];
  event.action = fields[10];
  event.time = convert(FilterEventLocalTime(fields));
  return event;
}

FilterEvent MakeFilterEvent(const FilterFields& fields) {
  return MakeFilterEvent(fields, [](const std::tm& tm) { return platform::FromLocalTime(tm); });
}
