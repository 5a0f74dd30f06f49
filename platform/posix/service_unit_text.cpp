// The unit text: the same confinement for the packaged unit and for the one
// that registration writes. `systemd-analyze security` rates the packaged
// unit (with a user and /var/lib/quorvane) at about 1.2 of 10.
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/service_manager.h"

namespace platform {
namespace {

bool StartsWithFolder(const std::string& path, std::string_view folder) {
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

bool UnderHome(const std::string& path) {
  return StartsWithFolder(path, "/home") || StartsWithFolder(path, "/root") ||
         StartsWithFolder(path, "/run/user");
}

bool UnderTmp(const std::string& path) {
  return StartsWithFolder(path, "/tmp") || StartsWithFolder(path, "/var/tmp");
}

// systemd expands "%" specifiers everywhere, "$" variables on command
// lines, splits words at blanks and honours C-like quotes; a word that
// needs it is quoted, and control characters never reach the file raw, so
// a strange path cannot add lines to the unit.
std::string UnitWord(const std::string& text, bool command) {
  bool quote = false;
  for (char c : text) {
    if (c == ' ' || c == '"' || c == '\'' || c == '\\' || static_cast<unsigned char>(c) < 0x20 ||
        c == 0x7f) {
      quote = true;
    }
  }
  std::string out = quote ? "\"" : "";
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
      continue;
    }
    if (quote && (c == '"' || c == '\\')) out += '\\';
    if (c == '%' || (command && c == '$')) out += c;
    out += c;
  }
  return quote ? out + "\"" : out;
}

std::string Line(std::string_view name, const std::string& value) {
  return std::string(name) + "=" + value + "\n";
}

std::string UnitSection(const std::string& service_name, const ServiceUnit& unit) {
  std::string text = "[Unit]\n" + Line("Description", service_name);
  if (!unit.manual.empty()) text += Line("Documentation", "man:" + unit.manual);
  return text + "After=network.target\n";
}

// How the process starts, restarts and whom it runs as.
std::string ProcessLines(const ServiceUnit& unit) {
  std::string text = "Type=notify\n" + Line("ExecStart", UnitWord(unit.program_path, true)) +
                     "Restart=on-failure\n"
                     "RestartSec=5\n"
                     // Exit code 2 means "never registered": starting again cannot help.
                     "RestartPreventExitStatus=2\n";
  if (!unit.user.empty()) {
    text += Line("User", UnitWord(unit.user, false)) + Line("Group", UnitWord(unit.user, false));
  }
  if (!unit.tool_folder.empty()) {
    std::string path =
        unit.tool_folder == "/usr/bin" ? "/usr/bin:/bin" : unit.tool_folder + ":/usr/bin:/bin";
    text += Line("Environment", UnitWord("PATH=" + path, false));
  }
  return text;
}

// The folders it sees. Root keeps the right to write an install folder
// that belongs to someone else, as an unconfined root would; a user
// namespace would take that right away, so only a service user gets one.
std::string FileSystemLines(const ServiceUnit& unit) {
  const std::string& folder = unit.writable_folder;
  // What the server and its tools create (database, contacts, reports) is
  // the account's alone; files meant for others get their modes explicitly.
  std::string text = "UMask=0077\nNoNewPrivileges=yes\n";
  text += unit.user.empty() ? "CapabilityBoundingSet=CAP_DAC_OVERRIDE\n"
                            : "CapabilityBoundingSet=\nPrivateUsers=yes\n";
  text += "ProtectSystem=strict\n";
  if (!folder.empty()) text += Line("ReadWritePaths", UnitWord(folder, false));
  text += UnderHome(folder) ? "ProtectHome=read-only\n" : "ProtectHome=yes\n";
  if (!UnderTmp(folder)) text += "PrivateTmp=yes\n";
  return text;
}

// Kernel, devices, network families and system calls: the server, ledgerix
// and Notivo need files, processes, local sockets (systemd, syslog) and
// TCP over IPv4 or IPv6, nothing more.
constexpr char kKernelLines[] =
    "PrivateDevices=yes\n"
    "DevicePolicy=closed\n"
    "ProtectHostname=yes\n"
    "ProtectClock=yes\n"
    "ProtectKernelTunables=yes\n"
    "ProtectKernelModules=yes\n"
    "ProtectKernelLogs=yes\n"
    "ProtectControlGroups=yes\n"
    "ProtectProc=invisible\n"
    "ProcSubset=pid\n"
    "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n"
    "RestrictNamespaces=yes\n"
    "LockPersonality=yes\n"
    "MemoryDenyWriteExecute=yes\n"
    "RestrictRealtime=yes\n"
    "RestrictSUIDSGID=yes\n"
    "RemoveIPC=yes\n"
    "SystemCallArchitectures=native\n"
    "SystemCallFilter=@system-service\n"
    "SystemCallFilter=~@privileged @resources\n"
    "SystemCallErrorNumber=EPERM\n";

}  // namespace

std::string ServiceUnitText(const std::string& service_name, const ServiceUnit& unit) {
  std::string text = UnitSection(service_name, unit) + "\n[Service]\n" + ProcessLines(unit) +
                     FileSystemLines(unit) + kKernelLines;
  if (unit.start_at_boot) text += "\n[Install]\nWantedBy=multi-user.target\n";
  return text;
}

}  // namespace platform
