// Command lines that arrive as one text, split into arguments by the
// Microsoft C runtime rules, and arguments written as such a text. The
// programs started here get argument lists (platform/process.h); these rules
// serve only where a whole command line comes from outside. Pure functions.
#ifndef PLATFORM_COMMAND_LINE_H_
#define PLATFORM_COMMAND_LINE_H_

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits `line` into arguments: blanks separate; double quotes group; 2n
// backslashes before a quote give n backslashes and toggle quoting; 2n+1 give
// n backslashes and a literal quote; other backslashes are literal.
std::vector<std::string> SplitCommandLine(std::string_view line);

// Quotes `arg` so that SplitCommandLine gives it back unchanged.
std::string QuoteArgument(std::string_view arg);

}  // namespace platform

#endif  // PLATFORM_COMMAND_LINE_H_
