// Running console programs: the Linux side of CreateProcess with pipes.
//
// Programs are started from an argument list, argv[0] naming the program.
// A program named without a folder is looked for in the running program's
// folder first, then on PATH; a name ending in ".exe" (any case) that is not
// found as written is looked for without that ending. Children start with an
// empty signal mask and default dispositions and inherit no descriptor but
// the ones named here.
//
// A caller that must be able to stop passes a StopCheck. It is asked before
// the program starts (true: the program is not started) and every
// kStopCheckInterval while it runs (true: the program is asked to end with
// SIGTERM and killed when it has not ended kStopGrace later). Every call
// returns only once its program has ended and been reaped.
#ifndef PLATFORM_PROCESS_H_
#define PLATFORM_PROCESS_H_

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

using StopCheck = std::function<bool()>;
inline constexpr std::chrono::milliseconds kStopCheckInterval{50};
inline constexpr std::chrono::milliseconds kStopGrace{3000};

// The absolute path of the program `name`, found as described above.
std::optional<std::string> FindProgram(const std::string& name);

enum class SpawnStatus {
  kOk,           // the program ran and ended by itself
  kPipeFailed,   // no pipe could be had; nothing was started
  kStartFailed,  // the program was not found or could not be started
  kStopped,      // the stop check said stop: not started, or ended early
};

// Runs argv[0] (found with FindProgram) with standard input an empty pipe,
// standard output captured into `output` (at most `max_bytes` bytes; after
// that the child gets a broken pipe rather than hanging) and standard error
// inherited. `exit_status` gets its wait status when not null.
SpawnStatus RunCaptured(const std::vector<std::string>& argv, size_t max_bytes, std::string* output,
                        int* exit_status = nullptr, const StopCheck& stop = {});

// Runs argv[0] with standard output on `output_path` (created or truncated)
// and standard input empty. kStartFailed (with `error` set) when the file
// cannot be opened or the program cannot be started.
SpawnStatus RunToFile(const std::vector<std::string>& argv, const std::string& output_path,
                      int* exit_status, std::string* error, const StopCheck& stop = {});

// Runs argv[0] with this process's standard input, output and error, and
// waits for it. False when the program cannot be found or started.
bool RunAndWait(const std::vector<std::string>& argv, int* exit_status = nullptr);

// True when a wait status is that of a program that ended with exit code 0.
bool EndedWithSuccess(int wait_status);
// "exit code N" or "signal N" for a wait status, as messages name it.
std::string DescribeWaitStatus(int wait_status);

}  // namespace platform

#endif  // PLATFORM_PROCESS_H_
