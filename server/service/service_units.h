// The two systemd units of the server: the one `Orbeline -Service` writes
// and the one the Debian package installs. Both run the server confined
// (platform::ServiceUnitText); they differ in what is known when they are
// made. Pure functions apart from the registry and user look-ups.
#ifndef SERVER_SERVICE_SERVICE_UNITS_H_
#define SERVER_SERVICE_SERVICE_UNITS_H_

#include <string>

#include "platform/service_manager.h"

// The system account the service runs as, where it exists.
inline constexpr char kServiceUser[] = "quorvane";
// The install folder the package creates.
inline constexpr char kPackagedInstallFolder[] = "/var/lib/quorvane";

// For the program at `program_path`: started on demand, writing only the
// install folder that the registry names now ("apppath"), as the service
// user when the system has one and as root otherwise.
platform::ServiceUnit RegisteredServiceUnit(const std::string& program_path);

// For the programs installed under `prefix` (/usr): Orbeline in sbin, the
// tools in bin, started at boot as the service user, writing only the
// package's install folder.
platform::ServiceUnit PackagedServiceUnit(const std::string& prefix);

#endif  // SERVER_SERVICE_SERVICE_UNITS_H_
