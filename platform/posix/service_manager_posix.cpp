#include "platform/service_manager.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/files.h"
#include "platform/posix/eintr.h"

extern char** environ;

namespace platform {
namespace {

constexpr char kDefaultUnitDirectory[] = "/etc/systemd/system";

bool UsingDefaultDirectory() { return UnitDirectory() == kDefaultUnitDirectory; }

bool DirectoryWritable(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return access(path.c_str(), W_OK | X_OK) == 0;
}

// Where systemctl is, if anywhere on PATH.
std::string FindSystemctl() {
  const char* path = getenv("PATH");
  std::string rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= rest.size()) {
    size_t colon = rest.find(':', start);
    if (colon == std::string::npos) colon = rest.size();
    std::string candidate = rest.substr(start, colon - start) + "/systemctl";
    if (colon > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = colon + 1;
  }
  return "";
}

// systemctl is started like from a shell (empty signal mask, default
// dispositions) and awaited; its result does not matter here.
void RunSystemctl(const std::string& verb, const std::string& unit) {
  if (!UsingDefaultDirectory()) return;
  std::string program = FindSystemctl();
  if (program.empty()) return;
  std::vector<std::string> args = {"systemctl", verb};
  if (!unit.empty()) args.push_back(unit);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  int err = posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (err != 0) return;
  int status = 0;
  HANDLE_EINTR(waitpid(pid, &status, 0));
}

// systemd expands "%" specifiers anywhere on the line and splits it at
// blanks, honouring C-like quotes; a path that needs it is quoted.
std::string ExecStartPath(const std::string& path) {
  bool quote = path.find_first_of(" \t\"'\\") != std::string::npos;
  std::string out = quote ? "\"" : "";
  for (char c : path) {
    if (quote && (c == '"' || c == '\\')) out += '\\';
    if (c == '%') out += '%';
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
