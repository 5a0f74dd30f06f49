// The switch scan of Orbeline's command line.
//
// After each "-" or "/" (also one inside the program's own path) the whole
// rest of the line is compared, ignoring case, with the switch words; the
// first match decides. A switch is therefore only recognised as the last
// thing on the line. Pure functions; any thread.
#ifndef SERVER_SERVICE_COMMAND_LINE_H_
#define SERVER_SERVICE_COMMAND_LINE_H_

#include <string>
#include <string_view>

enum class ServiceSwitch { kNone, kUnregServer, kRegServer, kService };

ServiceSwitch ScanServiceSwitch(std::string_view command_line);

// The process's command line as one string, as the system would hand it
// over: arguments joined by blanks, those holding blanks in double quotes.
std::string JoinCommandLine(int argc, const char* const* argv);

#endif  // SERVER_SERVICE_COMMAND_LINE_H_
