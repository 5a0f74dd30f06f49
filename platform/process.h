// Running console programs: the Linux side of CreateProcess with pipes.
//
// Command lines are single strings split by the Microsoft C runtime rules.
// A program named without a folder is looked for in the running program's
// folder first, then on PATH; a name ending in ".exe" (any case) that is not
// found as written is looked for without that ending. Children start with an
// empty signal mask and default dispositions and inherit no descriptor but
// the ones named here.
#ifndef PLATFORM_PROCESS_H_
#define PLATFORM_PROCESS_H_

#include <cstddef>
#include <optional>
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

// The absolute path of the program `name`, found as described above.
std::optional<std::string> FindProgram(const std::string& name);

enum class SpawnStatus { kOk, kPipeFailed, kStartFailed };

// Runs argv[0] (found with FindProgram) with standard input an empty pipe,
// standard output captured into `output` (at most `max_bytes` bytes; after
// that the child gets a broken pipe rather than hanging) and standard error
// inherited. Waits until the child has ended; `exit_status` gets its wait
// status when not null.
SpawnStatus RunCaptured(const std::vector<std::string>& argv, size_t max_bytes,
                        std::string* output, int* exit_status = nullptr);

// Runs argv[0] with standard output on `output_path` (created or truncated)
// and standard input empty, and waits for it. False (with `error` set) when
// the file cannot be opened or the program cannot be started.
bool RunToFile(const std::vector<std::string>& argv,
               const std::string& output_path, int* exit_status,
               std::string* error);

// Runs argv[0] with this process's standard input, output and error, and
// waits for it. False when the program cannot be found or started.
bool RunAndWait(const std::vector<std::string>& argv, int* exit_status = nullptr);

}  // namespace platform

#endif  // PLATFORM_PROCESS_H_
