// The service manager on Linux: systemd.
//
// A service is installed when its unit file "<name>.service" exists in the
// unit folder ($QUORVANE_UNIT_DIR, default /etc/systemd/system), or when a
// package installed one beside the program (<prefix>/lib/systemd/system for
// a program in <prefix>/sbin or <prefix>/bin); that one belongs to the
// package and is never written or deleted here. systemctl is asked to
// reload or stop only for the default folder, only where systemd runs; its
// failures are ignored. Status goes to systemd with sd_notify;
// the dispatcher exists exactly when NOTIFY_SOCKET is set. Any thread may
// call these functions.
#ifndef PLATFORM_SERVICE_MANAGER_H_
#define PLATFORM_SERVICE_MANAGER_H_

#include <string>

namespace platform {

enum class ServiceResult {
  kOk,
  kManagerUnavailable,  // the unit folder is missing or not writable
  kServiceUnavailable,  // the unit path exists but is no file
  kCreateFailed,        // the unit file could not be written
  kDeleteFailed,        // the unit file could not be deleted
};

// What a unit says besides its name. The service is confined the same way
// in every unit: no privileges, a read-only system, and writes only in
// `writable_folder`; the settings that would hide that folder are relaxed.
struct ServiceUnit {
  std::string program_path;     // ExecStart, absolute
  std::string user;             // User= and Group=; empty runs it as root
  std::string writable_folder;  // the one folder the service may write; may be empty
  std::string tool_folder;      // put first on PATH; empty keeps systemd's PATH
  std::string manual;           // "Orbeline(8)" gives Documentation=man:Orbeline(8)
  bool start_at_boot = false;   // an [Install] section; otherwise started on demand
};

// $QUORVANE_UNIT_DIR when set and not empty, else /etc/systemd/system.
std::string UnitDirectory();
std::string UnitFilePath(const std::string& service_name);

bool ServiceUnitExists(const std::string& service_name);

// The unit a package put beside the running program; "" when the program
// lies in no bin or sbin folder.
std::string PackagedUnitPath(const std::string& service_name);

// Writes the unit into the unit folder atomically, replacing any earlier one.
// On a failure `error` (when given) says what failed.
ServiceResult WriteServiceUnit(const std::string& service_name, const ServiceUnit& unit,
                               std::string* error = nullptr);
// Stops the service (default folder only) and deletes its unit file.
ServiceResult DeleteServiceUnit(const std::string& service_name);

// The unit file's text (Type=notify, restarted on failure, confined).
std::string ServiceUnitText(const std::string& service_name, const ServiceUnit& unit);

// True when the system knows the user `name`.
bool SystemUserExists(const std::string& name);

// True when systemd started the process as a notify service.
bool ServiceDispatcherAvailable();
// Sends `state` ("READY=1", "STOPPING=1", "STATUS=...") to systemd; does
// nothing without NOTIFY_SOCKET. Failures are ignored.
void NotifyServiceManager(const std::string& state);

}  // namespace platform

#endif  // PLATFORM_SERVICE_MANAGER_H_
