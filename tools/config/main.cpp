#include <iostream>
#include <string>
#include <vector>

#include "common/program_version.h"
#include "tools/config/config_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (AnswerVersionRequest("QuorvaneServerConfig", args, std::cout)) return 0;
  return RunConfigTool(args, std::cout, std::cerr);
}
