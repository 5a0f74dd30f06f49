// Notivo: posts one report to the notification endpoint and ends.
#include <iostream>
#include <string>
#include <vector>

#include "notifier/notivo.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunNotivo(args, std::cerr);
}
