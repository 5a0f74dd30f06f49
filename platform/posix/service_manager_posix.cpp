#include "platform/service_manager.h"

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

// systemctl is awaited; its result does not matter here.
void RunSystemctl(const std::string& verb, const std::string& unit) {
  if (!UsingDefaultDirectory()) return;
  std::vector<std::string> args = {"systemctl", verb};
  if (!unit.empty()) args.push_back(unit);
  RunAndWait(args);
}

// systemd expands "%" specifiers and "$" variables anywhere on the line
// and splits it at blanks, honouring C-like quotes; a path that needs it
// is quoted.
std::string ExecStartPath(const std::string& path) {
  bool quote = path.find_first_of(" \t\"'\\") != std::string::npos;
  std::string out = quote ? "\"" : "";
  for (char c : path) {
    if (quote && (c == '"' || c == '\\')) out += '\\';
    if (c == '%' || c == '$') out += c;
    out += c;
  }
  return quote ? out + "\"" : out;
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

bool ServiceUnitExists(const std::string& service_name) {
  struct stat st;
  return lstat(UnitFilePath(service_name).c_str(), &st) == 0;
}

std::string ServiceUnitText(const std::string& service_name, const std::string& program_path) {
  return "[Unit]\n"
         "Description=" + service_name + "\n"
         "\n"
         "[Service]\n"
         "Type=notify\n"
         "ExecStart=" + ExecStartPath(program_path) + "\n";
}

ServiceResult WriteServiceUnit(const std::string& service_name, const std::string& program_path) {
  if (!DirectoryWritable(UnitDirectory())) return ServiceResult::kManagerUnavailable;
  std::string error;
  if (!WriteFileAtomically(UnitFilePath(service_name),
                           ServiceUnitText(service_name, program_path), &error)) {
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
