#include "server/service/service_module.h"

#include "platform/service_manager.h"
#include "server/base/event_log.h"
#include "server/service/command_line.h"

namespace {

std::string StatusNotification(uint32_t state) {
  switch (state) {
    case ServiceStatus::kStartPending:
      return "STATUS=Starting";
    case ServiceStatus::kRunning:
      return "READY=1";
    case ServiceStatus::kStopPending:
      return "STOPPING=1";
    default:
      return "STATUS=Stopped";
  }
}

}  // namespace

void CServiceModule::Init() {
  service_name_ = kServiceName;
  SetServiceMode(true);
  std::lock_guard<std::mutex> lock(mu_);
  status_ = ServiceStatus();
}

void CServiceModule::SetServiceMode(bool on) {
  service_mode_ = on;
  SetEventLogServiceMode(on);
}

ServiceStatus CServiceModule::status() const {
  std::lock_guard<std::mutex> lock(mu_);
  return status_;
}

int CServiceModule::RunEntry(const std::string& command_line) {
  Init();
  switch (ScanServiceSwitch(command_line)) {
    case ServiceSwitch::kUnregServer:
      return UnregisterModule();
    case ServiceSwitch::kRegServer:
      return RegisterModule(false);
    case ServiceSwitch::kService:
      return RegisterModule(true);
    case ServiceSwitch::kNone:
      break;
  }
  return RunWithoutSwitch();
}

int CServiceModule::RunWithoutSwitch() {
  platform::RegistryFile registry = platform::LoadRegistry(platform::RegistryPath());
  if (!registry.KeyExists(platform::RegRoot::kClassesRoot, "AppID") ||
      !registry.KeyExists(platform::RegRoot::kClassesRoot, kAppIdKey)) {
    ShowMessageBox(service_name_,
                   "Orbeline is not registered: run Orbeline -RegServer (or Orbeline -Service "
                   "for a service) first");
    return kExitNotRegistered;
  }
  SetServiceMode(IsLocalServiceValue(
      registry.Query(platform::RegRoot::kClassesRoot, kAppIdKey, "LocalService")));

  platform::SignalWaiter waiter;
  {
    std::lock_guard<std::mutex> lock(mu_);
    signals_ = &waiter;
  }
  if (service_mode_ && platform::ServiceDispatcherAvailable()) {
    RunDispatcher(waiter);
  } else {
    // Not started by systemd: an ordinary process, messages on stdout.
    SetServiceMode(false);
    RunControlLoop();
  }
  std::lock_guard<std::mutex> lock(mu_);
  signals_ = nullptr;
  return static_cast<int>(status_.win32_exit_code);
}

// The dispatcher: the service runs on a thread of its own while this (main)
// thread turns signals into control requests until the service has ended.
void CServiceModule::RunDispatcher(platform::SignalWaiter& waiter) {
  std::atomic<bool> ended{false};
  std::thread service([this, &ended, &waiter] {
    ServiceEntry();
    ended = true;
    waiter.Wake();
  });
  while (!ended) {
    switch (waiter.Wait()) {
      case platform::ControlSignal::kStop:
        ControlHandler(kControlStop);
        break;
      case platform::ControlSignal::kHangUp:
        ControlHandler(kControlInterrogate);
        break;
      case platform::ControlSignal::kWake:
        break;
    }
  }
  service.join();
}

void CServiceModule::ServiceEntry() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    // A stop that came first stays pending; it is not undone.
    if (status_.current_state != ServiceStatus::kStopPending) {
      status_.current_state = ServiceStatus::kStartPending;
      ReportStatusLocked();
    }
    status_.win32_exit_code = 0;
    status_.check_point = 0;
    status_.wait_hint = 0;
  }
  RunControlLoop();
  {
    std::lock_guard<std::mutex> lock(mu_);
    status_.current_state = ServiceStatus::kStopped;
    ReportStatusLocked();
  }
  WriteEventLog("Service stopped");
}

void CServiceModule::ControlHandler(uint32_t code) {
  if (code == kControlStop) {
    std::lock_guard<std::mutex> lock(mu_);
    status_.current_state = ServiceStatus::kStopPending;
    ReportStatusLocked();
    // Before the loop runs there is no one to post to: hold the request.
    if (!PostQuitLocked()) stop_held_ = true;
    return;
  }
  if (code >= 2 && code <= kControlShutdown) return;
  WriteEventLog("Bad service request");
}

void CServiceModule::RunControlLoop() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    control_thread_ = std::this_thread::get_id();
    quit_posted_ = stop_held_;
  }
  WriteEventLog("Service started");
  if (service_mode_) {
    std::lock_guard<std::mutex> lock(mu_);
    if (status_.current_state != ServiceStatus::kStopPending) {
      status_.current_state = ServiceStatus::kRunning;
      ReportStatusLocked();
    }
  }
  if (server_ != nullptr) server_->Start(0);
  WaitForQuitMessage();
  if (server_ != nullptr) server_->Stop();
}

// On the signal-taking (main) thread the wait is the message pump: stop
// signals post the quit message, a hang-up is ignored. Elsewhere it waits
// for a quit that another thread posts.
void CServiceModule::WaitForQuitMessage() {
  platform::SignalWaiter* waiter;
  {
    std::lock_guard<std::mutex> lock(mu_);
    waiter = signals_;
  }
  if (waiter != nullptr && waiter->OnWaiterThread()) {
    while (true) {
      {
        std::lock_guard<std::mutex> lock(mu_);
        if (quit_posted_) return;
      }
      if (waiter->Wait() == platform::ControlSignal::kStop) PostQuitMessage();
    }
  }
  std::unique_lock<std::mutex> lock(mu_);
  quit_cv_.wait(lock, [this] { return quit_posted_; });
}

bool CServiceModule::PostQuitMessage() {
  std::lock_guard<std::mutex> lock(mu_);
  return PostQuitLocked();
}

bool CServiceModule::PostQuitLocked() {
  if (!control_thread_) return false;
  quit_posted_ = true;
  quit_cv_.notify_all();
  // A loop pumping signals on the main thread needs a signal to look up.
  if (signals_ != nullptr && !signals_->OnWaiterThread()) signals_->Wake();
  return true;
}

void CServiceModule::ReportStatusLocked() {
  if (!service_mode_) return;
  platform::NotifyServiceManager(StatusNotification(status_.current_state));
}
