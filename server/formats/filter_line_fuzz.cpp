// The filter-line splitter on any text: the fields come from the line in
// order, and turning them into an event never fails.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/formats/filter_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  FilterFields fields = SplitFilterLine(line);
  size_t used = 0;
  for (std::string_view field : fields) {
    if (field.empty()) continue;
    size_t at = line.find(field, used);
    if (at == std::string_view::npos) std::abort();
    used = at + field.size();
  }
  FilterEvent event = MakeFilterEvent(fields);
  if (event.user_name != fields[4] && event.user_name != fields[3]) std::abort();
  return 0;
}
