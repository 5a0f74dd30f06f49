// RunToolProgram: platform::RunProgram for the server's tools (ledgerix,
// Notivo), counting each run in the metrics by tool, mode and outcome
// ("ok", "failed", "stopped", "not_started") with its wall time.
#ifndef SERVER_BASE_RUN_TOOL_PROGRAM_H_
#define SERVER_BASE_RUN_TOOL_PROGRAM_H_

#include "platform/process.h"

platform::ProgramResult RunToolProgram(const platform::ProgramRun& run);

#endif  // SERVER_BASE_RUN_TOOL_PROGRAM_H_
