#include "server/base/run_tool_program.h"

#include <chrono>

#include "server/base/server_metrics.h"

namespace {

const char* OutcomeOf(const platform::ProgramResult& result) {
  switch (result.status) {
    case platform::SpawnStatus::kOk:
      return platform::EndedWithSuccess(result.exit_status) ? "ok" : "failed";
    case platform::SpawnStatus::kStopped:
      return "stopped";
    default:
      return "not_started";
  }
}

}  // namespace

platform::ProgramResult RunToolProgram(const platform::ProgramRun& run) {
  const auto started = std::chrono::steady_clock::now();
  platform::ProgramResult result = platform::RunProgram(run);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  server_metrics::ToolRun(run.argv, OutcomeOf(result), took.count());
  return result;
}
