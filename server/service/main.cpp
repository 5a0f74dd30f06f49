// Orbeline: the central server. The service module and the server object
// live for the whole of main, built in this order and destroyed in reverse,
// so no worker runs past main.
#include <iostream>
#include <string>
#include <vector>

#include "common/program_version.h"
#include "platform/signals.h"
#include "server/core/main_thread.h"
#include "server/service/command_line.h"
#include "server/service/self_check.h"
#include "server/service/service_module.h"

int main(int argc, char** argv) {
  // Answered before anything starts; any other argument is left to the
  // switch scan, which starts the server on a word it does not know.
  if (AnswerVersionRequest("Orbeline", std::vector<std::string>(argv + 1, argv + argc),
                           std::cout)) {
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "--check") return RunSelfCheck(std::cout);
  // Before any thread exists, so that every thread inherits the block and
  // the main thread alone takes control signals.
  platform::BlockControlSignals();
  CServiceModule module;
  MainThread server([&module] { module.PostQuitMessage(); });
  module.SetServerThread(&server);
  return module.RunEntry(JoinCommandLine(argc, argv));
}
