// Any tool output parses and ends; each line feed yields at most one row,
// no row holds a line feed (so rows cannot forge rows), and the statuses
// carry no trailing white space.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "server/base/contact_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view output(reinterpret_cast<const char*>(data), size);
  size_t lines = 0;
  for (char c : output) lines += c == '\n';
  auto rows = ParseContactList(output);
  if (rows.size() > lines) std::abort();
  for (const IpLogRow& row : rows) {
    for (const std::string* v : {&row.user, &row.ip, &row.computer, &row.status}) {
      if (v->find('\n') != std::string::npos) std::abort();
    }
    if (row.user.find(',') != std::string::npos || row.ip.find(',') != std::string::npos ||
        row.computer.find(',') != std::string::npos) {
      std::abort();
    }
    if (!row.status.empty() &&
        std::string_view(" \t\r\v\f").find(row.status.back()) != std::string_view::npos) {
      std::abort();
    }
  }
  return 0;
}
