// Notivo: posts one report to the notification endpoint and ends.
#include <iostream>
#include <string>
#include <vector>

#include "common/program_version.h"
#include "notifier/notivo.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (AnswerVersionRequest("Notivo", args, std::cout)) return 0;
  return RunNotivo(args, std::cerr, &std::cout);
}
