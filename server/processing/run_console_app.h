// RunConsoleApp: runs one console program from a command line, captures
// its standard output, waits until it has ended and returns the text.
#ifndef SERVER_PROCESSING_RUN_CONSOLE_APP_H_
#define SERVER_PROCESSING_RUN_CONSOLE_APP_H_

#include <cstddef>
#include <optional>
#include <string>

// Capacities of the server's two callers.
inline constexpr size_t kToolOutputCapacity = 600000;
inline constexpr size_t kNotifierOutputCapacity = 409600;

// At most `capacity` - 1 bytes of output are kept. No result when the
// program could not be started (the failure is shown in a message box
// captioned "Error"). Callable from any thread.
std::optional<std::string> RunConsoleApp(const std::string& command_line, size_t capacity);

#endif  // SERVER_PROCESSING_RUN_CONSOLE_APP_H_
