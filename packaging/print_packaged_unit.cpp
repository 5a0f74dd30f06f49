// Build helper: prints the systemd unit that the install puts beside the
// programs, for the install prefix given as the only argument (/usr).
#include <iostream>
#include <string>

#include "server/base/event_log.h"
#include "server/service/service_units.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] != '/') {
    std::cerr << "usage: print_packaged_unit <absolute install prefix>\n";
    return 2;
  }
  std::string prefix = argv[1];
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  std::cout << platform::ServiceUnitText(kServiceName, PackagedServiceUnit(prefix));
  return std::cout.flush() ? 0 : 1;
}
