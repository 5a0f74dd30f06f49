// "--version" for the programs (Orbeline, ledgerix, Notivo,
// QuorvaneServerConfig): one line "<program> <version>". Any thread.
#ifndef COMMON_PROGRAM_VERSION_H_
#define COMMON_PROGRAM_VERSION_H_

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// The product version, as the package carries it ("1.0.0.1").
std::string_view ProductVersion();

// True (after writing the line on `out`) when `args`, the arguments after
// the program name, are exactly "--version".
bool AnswerVersionRequest(std::string_view program, const std::vector<std::string>& args,
                          std::ostream& out);

#endif  // COMMON_PROGRAM_VERSION_H_
