#include "platform/service_manager.h"

#include <pwd.h>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/files.h"
#include "platform/process.h"

namespace platform {
namespace {

constexpr char kDefaultUnitDirectory[] = "/etc/systemd/system";

bool UsingDefaultDirectory() { return UnitDirectory() == kDefaultUnitDirectory; }

bool DirectoryWritable(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return access(path.c_str(), W_OK | X_OK) == 0;
}

// systemctl is awaited; its result does not matter here. Without a running
// systemd (a container, a chroot) it could only complain.
void RunSystemctl(const std::string& verb, const std::string& unit) {
  if (!UsingDefaultDirectory() || sd_booted() <= 0) return;
  std::vector<std::string> args = {"systemctl", verb};
  if (!unit.empty()) args.push_back(unit);
  ProgramRun run;
  run.argv = args;
  RunProgram(run);
}

// The folder that holds the folder a program lies in: /usr for
// /usr/sbin/Orbeline.
std::string PrefixOf(const std::string& program_folder) {
  size_t slash = program_folder.find_last_of('/');
  if (slash == std::string::npos) return "";
  std::string leaf = program_folder.substr(slash + 1);
  if (leaf != "bin" && leaf != "sbin") return "";
  return program_folder.substr(0, slash);
}

}  // namespace

std::string UnitDirectory() {
  const char* dir = getenv("QUORVANE_UNIT_DIR");
  if (dir == nullptr || *dir == '\0') return kDefaultUnitDirectory;
  std::string out = dir;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string UnitFilePath(const std::string& service_name) {
  return UnitDirectory() + "/" + service_name + ".service";
}

std::string PackagedUnitPath(const std::string& service_name) {
  std::string prefix = PrefixOf(ExecutableDirectory());
  if (prefix.empty()) return "";
  return prefix + "/lib/systemd/system/" + service_name + ".service";
}

bool ServiceUnitExists(const std::string& service_name) {
  struct stat st;
  std::string packaged = PackagedUnitPath(service_name);
  return lstat(UnitFilePath(service_name).c_str(), &st) == 0 ||
         (!packaged.empty() && lstat(packaged.c_str(), &st) == 0);
}

bool SystemUserExists(const std::string& name) {
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  return getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
         found != nullptr;
}

ServiceResult WriteServiceUnit(const std::string& service_name, const ServiceUnit& unit,
                               std::string* error) {
  std::string why;
  if (!DirectoryWritable(UnitDirectory())) {
    if (error) *error = "the unit folder " + UnitDirectory() + " is missing or not writable";
    return ServiceResult::kManagerUnavailable;
  }
  const std::string path = UnitFilePath(service_name);
  if (!WriteFileAtomically(path, ServiceUnitText(service_name, unit), &why)) {
    if (error) *error = path + ": " + why;
    return ServiceResult::kCreateFailed;
  }
  RunSystemctl("daemon-reload", "");
  return ServiceResult::kOk;
}

ServiceResult DeleteServiceUnit(const std::string& service_name) {
  if (!DirectoryWritable(UnitDirectory())) return ServiceResult::kManagerUnavailable;
  std::string path = UnitFilePath(service_name);
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    return ServiceResult::kServiceUnavailable;
  }
  // Like the stop control it stands for: sent, not waited on for success.
  RunSystemctl("stop", service_name + ".service");
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return ServiceResult::kDeleteFailed;
  RunSystemctl("daemon-reload", "");
  return ServiceResult::kOk;
}

bool ServiceDispatcherAvailable() {
  const char* socket = getenv("NOTIFY_SOCKET");
  return socket != nullptr && *socket != '\0';
}

void NotifyServiceManager(const std::string& state) { sd_notify(0, state.c_str()); }

}  // namespace platform
