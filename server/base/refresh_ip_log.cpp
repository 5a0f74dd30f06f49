#include "server/base/refresh_ip_log.h"

#include <ctime>
#include <optional>
#include <vector>

#include "common/install_path.h"
#include "server/base/contact_list.h"
#include "server/base/ip_log_files.h"
#include "server/base/run_tool_program.h"
#include "server/base/server_metrics.h"

namespace {

struct ToolList {
  IpLogRefresh outcome = IpLogRefresh::kKept;
  std::string text;  // the list, when complete
  std::string problem;
};

// Runs `ledgerix 7` and tells a complete list from everything else.
ToolList RunListTool(const platform::StopCheck& stop) {
  ToolList list;
  platform::ProgramRun run;
  run.argv = {"ledgerix.exe", "7"};
  run.output = platform::OutputTo::kCapture;
  run.captured = &list.text;
  run.max_bytes = kMaxIpListBytes + 1;  // the byte beyond tells a cut list
  run.stop = stop;
  const platform::ProgramResult result = RunToolProgram(run);
  if (result.status == platform::SpawnStatus::kStopped) {
    list.outcome = IpLogRefresh::kStopped;
  } else if (result.status != platform::SpawnStatus::kOk) {
    list.problem = "ledgerix 7 could not be started";
    if (!result.error.empty()) list.problem += " (" + result.error + ")";
  } else if (list.text.size() > kMaxIpListBytes) {
    list.problem = "the list of ledgerix 7 is longer than 64 MiB";
  } else if (!platform::EndedWithSuccess(result.exit_status)) {
    list.problem = "ledgerix 7 ended with " + platform::DescribeWaitStatus(result.exit_status);
  } else {
    list.outcome = IpLogRefresh::kReplaced;
  }
  if (list.outcome != IpLogRefresh::kReplaced) list.text.clear();
  return list;
}

IpLogRefresh Refresh(const platform::StopCheck& stop, std::string* problem) {
  ToolList list = RunListTool(stop);
  if (list.outcome != IpLogRefresh::kReplaced) {
    *problem = list.problem;
    return list.outcome;
  }
  std::string error;
  std::vector<IpLogRow> rows = ParseContactList(list.text);
  if (WriteIpLogFiles(ReadInstallPath(), rows, &error)) {
    server_metrics::IpLogReplaced(rows.size(), std::time(nullptr));
    return IpLogRefresh::kReplaced;
  }
  *problem = "the files could not be written: " + error;
  return IpLogRefresh::kKept;
}

IpLogRefresh RefreshIfMissing(const platform::StopCheck& stop, std::string* problem) {
  std::optional<ToolList> failed;
  std::optional<size_t> written;
  auto rows = [&stop, &failed, &written]() -> std::optional<std::vector<IpLogRow>> {
    ToolList list = RunListTool(stop);
    if (list.outcome == IpLogRefresh::kReplaced) {
      std::vector<IpLogRow> parsed = ParseContactList(list.text);
      written = parsed.size();
      return parsed;
    }
    failed = std::move(list);
    return std::nullopt;
  };
  std::string error;
  if (WriteIpLogFilesIfMissing(ReadInstallPath(), rows, &error)) {
    // Both files were there: nothing was written, the figures stay.
    if (written) server_metrics::IpLogReplaced(*written, std::time(nullptr));
    return IpLogRefresh::kReplaced;
  }
  if (failed) {
    *problem = failed->problem;
    return failed->outcome;
  }
  *problem = "the files could not be written: " + error;
  return IpLogRefresh::kKept;
}

void Count(IpLogRefresh outcome) {
  if (outcome == IpLogRefresh::kKept) server_metrics::IpLogKept();
}

}  // namespace

IpLogRefresh RefreshIpLog(const platform::StopCheck& stop, std::string* problem) {
  const IpLogRefresh outcome = Refresh(stop, problem);
  Count(outcome);
  return outcome;
}

IpLogRefresh RefreshIpLogIfMissing(const platform::StopCheck& stop, std::string* problem) {
  const IpLogRefresh outcome = RefreshIfMissing(stop, problem);
  Count(outcome);
  return outcome;
}
