// ledgerix: the product's database tool (contacts for the IP log, reports).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "common/program_version.h"
#include "tools/ledgerix/ledgerix_run.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (AnswerVersionRequest("ledgerix", args, std::cout)) return 0;
  std::string out;
  std::string err;
  int code =
      RunLedgerix(args, ReadLedgerixSettings(platform::SystemClock()), &out, &err, &std::cin);
  std::fwrite(err.data(), 1, err.size(), stderr);
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fputs("ledgerix: cannot write the output\n", stderr);
    return 1;
  }
  return code;
}
