#include "server/service/command_line.h"

#include "platform/strings.h"

namespace {

using platform::EqualNoCase;

ServiceSwitch MatchSwitch(std::string_view rest) {
  if (EqualNoCase(rest, "UnregServer")) return ServiceSwitch::kUnregServer;
  if (EqualNoCase(rest, "RegServer")) return ServiceSwitch::kRegServer;
  if (EqualNoCase(rest, "Service")) return ServiceSwitch::kService;
  return ServiceSwitch::kNone;
}

}  // namespace

ServiceSwitch ScanServiceSwitch(std::string_view command_line) {
  size_t pos = command_line.find_first_of("-/");
  while (pos != std::string_view::npos) {
    ServiceSwitch found = MatchSwitch(command_line.substr(pos + 1));
    if (found != ServiceSwitch::kNone) return found;
    pos = command_line.find_first_of("-/", pos + 1);
  }
  return ServiceSwitch::kNone;
}

std::string JoinCommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (i > 0) line += ' ';
    bool quote = arg.empty() || arg.find_first_of(" \t") != std::string_view::npos;
    if (quote) line += '"';
    line += arg;
    if (quote) line += '"';
  }
  return line;
}
