#include <iostream>
#include <string>
#include <vector>

#include "tools/config/config_tool.h"

int main(int argc, char** argv) {
  return RunConfigTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
