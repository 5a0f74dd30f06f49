#include "tools/ledgerix/csv_text.h"

std::string CsvField(std::string_view text) {
  const bool formula =
      !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
  const bool quoted = formula || text.find_first_of(",\"\r\n") != std::string_view::npos;
  if (!quoted) return std::string(text);
  std::string field = formula ? "\"'" : "\"";
  for (char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + '"';
}

void AppendCsvRecord(std::initializer_list<std::string_view> fields, std::string* out) {
  bool first = true;
  for (std::string_view field : fields) {
    if (!first) *out += ',';
    first = false;
    *out += CsvField(field);
  }
  *out += "\r\n";
}
