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

// Where a program's standard output goes. Standard input is empty (or
// ProgramRun::input) unless the output is inherited, when the program has
// all three of this process's.
enum class OutputTo {
  kInherit,  // this process's standard input, output and error
  kCapture,  // a pipe read into ProgramRun::captured
  kFile,     // ProgramRun::output_path, created or truncated
};

// One program to run. Standard error is always this process's.
struct ProgramRun {
  std::vector<std::string> argv;  // argv[0] names the program (see FindProgram)
  OutputTo output = OutputTo::kInherit;
  // kCapture: emptied first, then holds at most `max_bytes` bytes; after
  // that the child gets a broken pipe rather than hanging.
  std::string* captured = nullptr;
  size_t max_bytes = 0;
  std::string output_path;  // kFile
  // kCapture and kFile: when set, the program reads this text on its
  // standard input, which then ends. A program that ends or closes it
  // unread leaves the rest unwritten, and no SIGPIPE reaches this process.
  const std::string* input = nullptr;
  // The program's working folder; empty for this process's. Set in the
  // child alone: this process's current folder never changes.
  std::string folder;
  StopCheck stop;
};

struct ProgramResult {
  SpawnStatus status = SpawnStatus::kStartFailed;
  int exit_status = -1;  // the wait status once the program ran
  std::string error;     // why it did not run or was stopped, for messages
};

// Runs `run` and returns once its program has ended and been reaped.
ProgramResult RunProgram(const ProgramRun& run);

// True when a wait status is that of a program that ended with exit code 0.
bool EndedWithSuccess(int wait_status);
// "exit code N" or "signal N" for a wait status, as messages name it.
std::string DescribeWaitStatus(int wait_status);

}  // namespace platform

#endif  // PLATFORM_PROCESS_H_
