#include "server/base/run_console_app.h"

#include <exception>

#include "server/base/event_log.h"
#include "server/base/run_tool_program.h"

namespace {

void ShowError(const char* text) { ShowMessageBox("Error", text); }

}  // namespace

std::optional<std::string> RunConsoleApp(const std::vector<std::string>& argv, size_t capacity,
                                         const platform::StopCheck& stop, int* exit_status,
                                         const std::string& folder, const std::string* input) {
  // One byte of the capacity is never filled, so a capacity of 1 keeps nothing.
  size_t max_bytes = capacity > 0 ? capacity - 1 : 0;
  std::string output;
  try {
    output.reserve(max_bytes);
  } catch (const std::exception&) {  // bad_alloc, or a capacity beyond max_size
    ShowError("Out of memory");
    return std::nullopt;
  }
  platform::ProgramRun run;
  run.argv = argv;
  run.output = platform::OutputTo::kCapture;
  run.captured = &output;
  run.max_bytes = max_bytes;
  run.folder = folder;
  run.input = input;
  run.stop = stop;
  platform::ProgramResult result = RunToolProgram(run);
  if (exit_status) *exit_status = result.exit_status;
  switch (result.status) {
    case platform::SpawnStatus::kOk:
      return output;
    case platform::SpawnStatus::kStopped:
      return std::nullopt;  // a stop is no error
    case platform::SpawnStatus::kPipeFailed:
      ShowError("Can't open pipe");
      return std::nullopt;
    case platform::SpawnStatus::kStartFailed:
      break;
  }
  ShowError("Can't start console app");
  return std::nullopt;
}
