// Any command line splits without reading out of bounds into arguments that
// hold no blank outside quotes' reach; quoting each argument and splitting
// again gives the same arguments back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args = platform::SplitCommandLine(line);
  size_t total = 0;
  for (const std::string& a : args) total += a.size();
  if (total > size) std::abort();
  std::string joined;
  for (const std::string& a : args) joined += platform::QuoteArgument(a) + " ";
  if (platform::SplitCommandLine(joined) != args) std::abort();
  // The raw input, taken as one argument, also survives quoting.
  std::vector<std::string> one = platform::SplitCommandLine("x " + platform::QuoteArgument(line));
  if (one.size() != 2 || one[1] != line) std::abort();
  return 0;
}
