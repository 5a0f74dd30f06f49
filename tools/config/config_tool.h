// The command line of QuorvaneServerConfig, the product's configuration
// program:
//
//   QuorvaneServerConfig show            every known value, or "(not set)"
//   QuorvaneServerConfig get NAME        one value
//   QuorvaneServerConfig set NAME VALUE  checks and stores a value
//   QuorvaneServerConfig unset NAME      removes a value
//
// on the values under HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane in the registry
// file (platform::RegistryPath()). Writes go through platform::EditRegistry,
// so the file is replaced whole or not at all. Called from main only.
#ifndef TOOLS_CONFIG_CONFIG_TOOL_H_
#define TOOLS_CONFIG_CONFIG_TOOL_H_

#include <ostream>
#include <string>
#include <vector>

// Exit codes of the tool.
inline constexpr int kConfigOk = 0;
inline constexpr int kConfigRejected = 1;  // unknown name, bad value, not set, write failed
inline constexpr int kConfigUsage = 2;     // wrong command or number of arguments

// `args` are the arguments after the program name. Results go to `out`,
// messages to `err`.
int RunConfigTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

#endif  // TOOLS_CONFIG_CONFIG_TOOL_H_
