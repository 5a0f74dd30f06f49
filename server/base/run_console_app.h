// RunConsoleApp: runs one console program from an argument list (argv[0]
// names the program), captures its standard output, waits until it has
// ended and returns the text.
#ifndef SERVER_BASE_RUN_CONSOLE_APP_H_
#define SERVER_BASE_RUN_CONSOLE_APP_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"

// Capacities of the server's two callers.
inline constexpr size_t kToolOutputCapacity = 600000;
inline constexpr size_t kNotifierOutputCapacity = 409600;

// At most `capacity` - 1 bytes of output are kept. No result when the
// program could not be started (the failure is shown in a message box
// captioned "Error") or when `stop` ended or prevented it (nothing is
// shown: see platform/process.h). `exit_status` gets the program's wait
// status when it ran. The program runs in `folder` (empty: this process's
// current folder) and reads `input` on its standard input (none: empty).
// Callable from any thread.
std::optional<std::string> RunConsoleApp(const std::vector<std::string>& argv, size_t capacity,
                                         const platform::StopCheck& stop = {},
                                         int* exit_status = nullptr, const std::string& folder = {},
                                         const std::string* input = nullptr);

#endif  // SERVER_BASE_RUN_CONSOLE_APP_H_
