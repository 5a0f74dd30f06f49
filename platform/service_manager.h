// The service manager on Linux: systemd.
//
// A service is installed when its unit file "<name>.service" exists in the
// unit folder ($QUORVANE_UNIT_DIR, default /etc/systemd/system). systemctl is
// asked to reload or stop only for the default folder, and only where it
// exists; its failures are ignored. Status goes to systemd with sd_notify;
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

// $QUORVANE_UNIT_DIR when set and not empty, else /etc/systemd/system.
std::string UnitDirectory();
std::string UnitFilePath(const std::string& service_name);

bool ServiceUnitExists(const std::string& service_name);

// Writes the unit (Type=notify, ExecStart=`program_path`, no [Install]
// section) atomically, replacing any earlier one.
ServiceResult WriteServiceUnit(const std::string& service_name,
                               const std::string& program_path);
// Stops the service (default folder only) and deletes its unit file.
ServiceResult DeleteServiceUnit(const std::string& service_name);

// The unit file's text; exposed for tests.
std::string ServiceUnitText(const std::string& service_name,
                            const std::string& program_path);

// True when systemd started the process as a notify service.
bool ServiceDispatcherAvailable();
// Sends `state` ("READY=1", "STOPPING=1", "STATUS=...") to systemd; does
// nothing without NOTIFY_SOCKET. Failures are ignored.
void NotifyServiceManager(const std::string& state);

}  // namespace platform

#endif  // PLATFORM_SERVICE_MANAGER_H_
