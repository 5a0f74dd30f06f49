// CServiceModule: Orbeline's process entry and its link to the service
// manager (systemd).
//
// One instance per process, built at the top of main before the server
// object and destroyed after it. RunEntry runs on the main thread and owns
// it until the process ends: it registers, unregisters, or runs the control
// loop, either on the main thread (ordinary process) or, under systemd, on a
// service thread while the main thread turns signals into control requests.
//
// Threads: ControlHandler runs on the main thread, ServiceEntry and the
// control loop on the service thread; PostQuitMessage may be called from
// any thread. The status record, the control thread and the quit message
// are guarded by mu_.
#ifndef SERVER_SERVICE_SERVICE_MODULE_H_
#define SERVER_SERVICE_SERVICE_MODULE_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/registry.h"
#include "platform/signals.h"
#include "server/base/cthread.h"

// The AppID under HKEY_CLASSES_ROOT that records how the program starts.
inline constexpr char kAppIdGuid[] = "{5E7D2C41-8A3B-4F0E-9C6D-2B1A0F3E4D51}";
inline constexpr char kAppIdKey[] = "AppID\\{5E7D2C41-8A3B-4F0E-9C6D-2B1A0F3E4D51}";
inline constexpr char kAppIdExeKey[] = "AppID\\Orbeline.EXE";

// Exit codes besides the status record's (0).
inline constexpr int kExitNotRegistered = 2;  // the AppID keys are missing
inline constexpr int kExitRegistryWrite = 5;  // the registry file could not be written
inline constexpr int kExitServiceFailed = 1;  // the service could not be installed or removed

// The service status as the service manager is told it.
struct ServiceStatus {
  static constexpr uint32_t kStopped = 1;
  static constexpr uint32_t kStartPending = 2;
  static constexpr uint32_t kStopPending = 3;
  static constexpr uint32_t kRunning = 4;

  uint32_t service_type = 0x10;  // own process
  uint32_t current_state = kStopped;
  uint32_t controls_accepted = 1;  // stop only
  uint32_t win32_exit_code = 0;
  uint32_t service_specific_exit_code = 0;
  uint32_t check_point = 0;
  uint32_t wait_hint = 0;
};

// Control codes that ControlHandler understands.
inline constexpr uint32_t kControlStop = 1;
inline constexpr uint32_t kControlInterrogate = 4;
inline constexpr uint32_t kControlShutdown = 5;

// Whether a "LocalService" value read from the AppID key selects service
// mode: present, at most 260 bytes, and empty or a properly terminated string.
bool IsLocalServiceValue(const std::optional<platform::RegValue>& value);

class CServiceModule final {
 public:
  CServiceModule() = default;
  CServiceModule(const CServiceModule&) = delete;
  CServiceModule& operator=(const CServiceModule&) = delete;

  // The thread the control loop starts and stops; not owned. Main thread,
  // before RunEntry.
  void SetServerThread(CThread* server) { server_ = server; }

  // The whole entry: scans `command_line`, acts on a switch or runs.
  // Returns the process exit code. Main thread only.
  int RunEntry(const std::string& command_line);

  void Init();
  int RegisterModule(bool as_service);
  int UnregisterModule();
  bool IsServiceInstalled() const;
  bool InstallService();
  bool RemoveService();

  void ServiceEntry();
  void ControlHandler(uint32_t code);
  void RunControlLoop();

  // Ends the control loop's wait. False (and nothing happens) when no
  // control loop has started yet.
  bool PostQuitMessage();

  bool service_mode() const { return service_mode_; }
  void SetServiceMode(bool on);
  ServiceStatus status() const;
  const std::string& service_name() const { return service_name_; }

 private:
  int RunWithoutSwitch();
  void RunDispatcher(platform::SignalWaiter& waiter);
  void WaitForQuitMessage();
  bool PostQuitLocked();
  void ReportStatusLocked();

  std::string service_name_;
  std::atomic<bool> service_mode_{false};
  CThread* server_ = nullptr;
  platform::SignalWaiter* signals_ = nullptr;  // set by RunEntry on the main thread

  mutable std::mutex mu_;
  std::condition_variable quit_cv_;
  ServiceStatus status_;                           // guarded by mu_
  std::optional<std::thread::id> control_thread_;  // guarded by mu_
  bool quit_posted_ = false;                       // guarded by mu_
  bool stop_held_ = false;                         // guarded by mu_
};

#endif  // SERVER_SERVICE_SERVICE_MODULE_H_
