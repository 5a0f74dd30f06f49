#include "server/core/main_thread.h"

#include "common/reg_value.h"
#include "platform/registry_cache.h"
#include "server/base/event_log.h"

MainThread::MainThread(std::function<void()> post_quit_message)
    : post_quit_message_(std::move(post_quit_message)),
      request_processor_(listener_.queue()),
      log_importer_(nightly_import_gate_),
      email_worker_(nightly_import_gate_) {
  CheckConfiguration();
}

// The values serve only this check: the listener and the workers read
// their own configuration when they need it. The check runs before any
// control loop exists, so the quit message it posts reaches no one and
// start-up goes on.
void MainThread::CheckConfiguration() {
  // Said first, so that the messages about missing values below come with
  // their cause when the file itself is the trouble.
  const std::string registry = platform::RegistryPath();
  std::string problem = platform::ReadRegistry(registry).problem;
  if (!problem.empty())
    WriteEventLog(EventPriority::kError, "The registry file %s cannot be read: %s",
                  registry.c_str(), problem.c_str());
  // A missing port counts as not configured although the listener would
  // take the default.
  CRegNumberValue port(setting::kDbServerPort);
  if (!port.read() || port.Value() == 0) {
    WriteEventLog(
        EventPriority::kError,
        "Unable to get the Server port from registry. Please run QuorvaneServerConfig.exe in "
        "order to fix this problem");
    PostQuitMessage();
  }
  CRegTextValue path(setting::kStartupAppPath);
  if (path.Value().empty()) {
    WriteEventLog(
        EventPriority::kError,
        "Unable to get the Server Path from registry. Please run QuorvaneServerConfig.exe in "
        "order to fix this problem");
    PostQuitMessage();
  }
}

void MainThread::PostQuitMessage() {
  if (post_quit_message_) post_quit_message_();
}

uint32_t MainThread::Run(uint32_t) {
  listener_.Start(0);
  request_processor_.Start(0);
  log_importer_.Start(0);
  email_worker_.Start(0);
  monitor_.Start(0);
  return 0;
}

// Every worker is asked to stop before any is waited for, so that programs
// they are running end side by side and a stop takes one grace period (see
// platform/process.h), not one per worker. They are then joined in the
// order the server has always used: the listener and the request worker
// first, then the others in reverse order of their construction. The
// server thread was joined by the control loop already; joining it first
// here only makes sure it can start no worker afterwards.
MainThread::~MainThread() {
  Stop();
  CThread* const workers[] = {&listener_, &request_processor_, &email_worker_, &log_importer_,
                              &monitor_};
  for (CThread* worker : workers) worker->RequestStop();
  listener_.Stop();
  request_processor_.Stop();
  email_worker_.Stop();
  log_importer_.Stop();
  monitor_.Stop();
}
