#include "server/service/service_units.h"

#include "common/install_path.h"

namespace {

// ReadWritePaths takes absolute folders only; a relative install path
// (allowed by hand edits) leaves nothing writable rather than a bad line.
std::string WritableFolder(const std::string& install_path) {
  if (install_path.empty() || install_path[0] != '/') return "";
  std::string folder = install_path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

platform::ServiceUnit RegisteredServiceUnit(const std::string& program_path) {
  platform::ServiceUnit unit;
  unit.program_path = program_path;
  if (platform::SystemUserExists(kServiceUser)) unit.user = kServiceUser;
  unit.writable_folder = WritableFolder(ReadInstallPath());
  return unit;
}

platform::ServiceUnit PackagedServiceUnit(const std::string& prefix) {
  platform::ServiceUnit unit;
  unit.program_path = prefix + "/sbin/Orbeline";
  unit.user = kServiceUser;
  unit.writable_folder = kPackagedInstallFolder;
  unit.tool_folder = prefix + "/bin";
  unit.manual = "Orbeline(8)";
  unit.start_at_boot = true;
  return unit;
}
