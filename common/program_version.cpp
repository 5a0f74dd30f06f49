#include "common/program_version.h"

#include "common/version.h"

std::string_view ProductVersion() { return kQuorvaneVersion; }

bool AnswerVersionRequest(std::string_view program, const std::vector<std::string>& args,
                          std::ostream& out) {
  if (args.size() != 1 || args[0] != "--version") return false;
  out << program << ' ' << ProductVersion() << '\n';
  return true;
}
