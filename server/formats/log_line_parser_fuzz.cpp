// The request and report line parsers on any text: keys are taken from
// inside the line and never contain the character that ends them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/formats/decode_base64.h"
#include "server/formats/log_line_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  SiteLine request = ParseRequestLine(line);
  if (request.key.find('/') != std::string::npos) std::abort();
  if (!request.key.empty() && line.find(std::string(request.key) + "/") == std::string_view::npos)
    std::abort();
  SiteLine report = ParseReportLine(line);
  if (report.key.find(' ') != std::string::npos) std::abort();
  if (!report.key.empty() && line.substr(0, report.key.size() + 1) != std::string(report.key) + " ")
    std::abort();
  ParseRequestLine(DecodeBase64Text(line));
  ReadNumber(line);
  return 0;
}
