#include "server/service/self_check.h"

#include <chrono>
#include <cstdio>
#include <optional>

#include "common/email_scramble.h"
#include "common/install_path.h"
#include "common/ipv4_address.h"
#include "common/reg_value.h"
#include "common/report_table.h"
#include "platform/file_status.h"
#include "platform/files.h"
#include "platform/port_probe.h"
#include "platform/process.h"
#include "platform/registry_cache.h"
#include "server/db/activity_database.h"
#include "server/db/activity_location.h"
#include "server/intake/srv_socket.h"

namespace {

constexpr std::chrono::milliseconds kToolTimeout{10000};
constexpr std::chrono::milliseconds kConnectTimeout{5000};

using Problems = std::vector<std::string>;

std::string Octal(uint32_t mode) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04o", mode & 07777);
  return buf;
}

// The account the service runs as.
uint32_t ServiceAccount() {
  return platform::AccountId(kServiceAccount).value_or(platform::CurrentAccount());
}

// A folder of the package's: a real folder of the account, the account's to
// write, nobody else's to enter.
void CheckFolder(const std::string& path, const std::string& what, Problems* problems) {
  std::optional<platform::FileStatus> s = platform::StatusOf(path);
  if (!s) return problems->push_back(what + " " + path + " is missing");
  if (s->is_link) return problems->push_back(what + " " + path + " is a symbolic link");
  if (!s->is_folder) return problems->push_back(what + " " + path + " is not a folder");
  const uint32_t account = ServiceAccount();
  if (s->owner != account)
    problems->push_back(what + " " + path + " belongs to " + platform::AccountName(s->owner) +
                        ", not to " + platform::AccountName(account));
  if ((s->mode & 0700) != 0700)
    problems->push_back(what + " " + path +
                        " is not readable, writable and searchable by its owner (mode " +
                        Octal(s->mode) + ")");
  if ((s->mode & 0007) != 0)
    problems->push_back(what + " " + path + " is open to others (mode " + Octal(s->mode) + ")");
  if ((s->mode & 0020) != 0 && (s->mode & 01000) == 0)
    problems->push_back(what + " " + path + " is group-writable without the sticky bit (mode " +
                        Octal(s->mode) + ")");
}

void CheckTemplate(const std::string& path, Problems* problems) {
  std::optional<platform::FileStatus> s = platform::StatusOf(path);
  if (!s) return problems->push_back("The mail template " + path + " is missing");
  if (!s->is_file) return problems->push_back("The mail template " + path + " is not a file");
  const bool readable =
      s->owner == ServiceAccount() ? (s->mode & 0400) != 0 : (s->mode & 0044) != 0;
  std::optional<std::string> text = platform::ReadWholeFile(path);
  if (!readable || !text)
    return problems->push_back("The mail template " + path + " cannot be read by " +
                               platform::AccountName(ServiceAccount()));
  if (text->find("@logip@") == std::string::npos)
    problems->push_back("The mail template " + path + " has no @logip@ where the report goes");
}

// Found as the server finds it, and answers --version in time.
void CheckTool(const std::string& name, Problems* problems) {
  std::optional<std::string> path = platform::FindProgram(name);
  if (!path) return problems->push_back(name + " is not found beside Orbeline or on PATH");
  std::string output;
  platform::ProgramRun run;
  run.argv = {*path, "--version"};
  run.output = platform::OutputTo::kCapture;
  run.captured = &output;
  run.max_bytes = 4096;
  const auto deadline = std::chrono::steady_clock::now() + kToolTimeout;
  run.stop = [deadline] { return std::chrono::steady_clock::now() > deadline; };
  const platform::ProgramResult result = platform::RunProgram(run);
  if (result.status != platform::SpawnStatus::kOk)
    return problems->push_back(name + " (" + *path + ") cannot be run: " +
                               (result.error.empty() ? "it did not start" : result.error));
  if (!platform::EndedWithSuccess(result.exit_status))
    problems->push_back(name + " (" + *path + ") --version ended with " +
                        platform::DescribeWaitStatus(result.exit_status));
}

void CheckDatabase(const std::string& install, Problems* problems) {
  const ActivityLocation location = ConfiguredActivityLocation(install);
  // Before the first midnight there is no file yet; the night creates it.
  if (!location.is_postgres() && !platform::FileExists(location.file)) return;
  ActivityDatabase db;
  std::string error;
  if (!db.OpenReadOnly(location, &error))
    problems->push_back("The activity database " + location.Describe() +
                        " cannot be opened: " + error);
}

void CheckNotifyHost(Problems* problems);

bool AnyReportOn() {
  for (const ReportEntry& report : ReportTable())
    if (CRegNumberValue(*report.enabled_by).Value() == 1) return true;
  return false;
}

void CheckReports(Problems* problems) {
  for (const ReportEntry& report : ReportTable()) {
    CRegNumberValue value(*report.enabled_by);
    if (value.Value() > 1)
      problems->push_back(std::string(report.enabled_by->name) + " is " +
                          std::to_string(value.Value()) + ": 0 (off) or 1 (on)");
  }
  const std::string hour = CRegTextValue(setting::kReportTime).Value();
  const std::optional<uint32_t> n = platform::ParseDigits<uint32_t>(hour);
  const bool valid_hour = n && *n <= 23 && (hour.size() == 1 || hour[0] != '0');
  if (!hour.empty() && !valid_hour)
    problems->push_back("ReportTime \"" + hour +
                        "\" is no hour from 0 to 23 (no leading zero): no report is sent");
  if (hour.empty() || !valid_hour || !AnyReportOn()) return;
  if (UnscrambleEmail(CRegTextValue(setting::kEmailAddress).Value()).empty())
    problems->push_back("Reports are on but EmailAddress is not set: none would be sent");
  CheckNotifyHost(problems);
}

void CheckNotifyHost(Problems* problems) {
  std::string host = CRegTextValue(setting::kNotifyHost).Value();
  if (host.empty()) host = setting::kNotifyHost.default_value;
  uint16_t port = 80;
  if (host.starts_with(kHttpsPrefix)) {
    host.erase(0, kHttpsPrefix.size());
    port = 443;
  }
  const size_t colon = host.rfind(':');
  if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
    const std::optional<uint32_t> p = platform::ParseDigits<uint32_t>(host.substr(colon + 1));
    if (!p || *p == 0 || *p > 65535)
      return problems->push_back("NotifyHost \"" + host + "\" has no valid port");
    port = static_cast<uint16_t>(*p);
    host.resize(colon);
  }
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  std::string error;
  if (!platform::TcpReachable(host, port, kConnectTimeout, &error))
    problems->push_back("NotifyHost " + host + ":" + std::to_string(port) +
                        " cannot be reached: " + error);
}

// Free, or held by the running server.
void CheckPort(const std::string& what, uint32_t address, uint16_t port, Problems* problems) {
  std::string error;
  switch (platform::ProbeListenPort(address, port, &error)) {
    case platform::PortState::kFree:
      return;
    case platform::PortState::kOther:
      return problems->push_back(what + " port " + std::to_string(port) +
                                 " cannot be listened on: " + error);
    case platform::PortState::kInUse:
      break;
  }
  const std::string holder = platform::PortListenerName(port);
  if (holder == "Orbeline") return;
  problems->push_back(what + " port " + std::to_string(port) + " is in use by " +
                      (holder.empty() ? std::string("another program") : holder));
}

void CheckPorts(Problems* problems) {
  const uint16_t port =
      CSrvSocket::PortFromRegistryValue(CRegNumberValue(setting::kDbServerPort).Value());
  const std::string listen = CRegTextValue(setting::kListenAddress).Value();
  std::optional<uint32_t> address =
      listen.empty() ? std::optional<uint32_t>(0) : ParseIpv4Address(listen);
  if (!address)
    problems->push_back("ListenAddress \"" + listen +
                        "\" is no IPv4 address: no agent would be heard");
  else
    CheckPort("The agents'", *address, port, problems);
  const std::string metrics = CRegTextValue(setting::kMetricsAddress).Value();
  if (metrics.empty()) return;
  std::optional<Ipv4Endpoint> endpoint = ParseIpv4Endpoint(metrics);
  if (!endpoint)
    return problems->push_back("MetricsAddress \"" + metrics + "\" is no IPv4address:port");
  CheckPort("The metrics", endpoint->address, endpoint->port, problems);
}

}  // namespace

std::vector<std::string> SelfCheckProblems() {
  Problems problems;
  const std::string registry = platform::RegistryPath();
  if (!platform::FileExists(registry)) {
    problems.push_back("The registry file " + registry + " is missing");
  } else if (std::string problem = platform::ReadRegistry(registry).problem; !problem.empty()) {
    problems.push_back("The registry file " + registry + " cannot be read: " + problem);
  }
  const std::string install = ReadInstallPath();
  if (install.empty()) {
    problems.push_back("apppath is not set: the install folder is unknown");
  } else {
    CheckFolder(install.substr(0, install.size() - 1), "The install folder", &problems);
    CheckFolder(install + "Logs", "The log folder", &problems);
    CheckTemplate(install + "templates/En/email", &problems);
    CheckDatabase(install, &problems);
  }
  CheckTool("ledgerix", &problems);
  CheckTool("Notivo", &problems);
  CheckReports(&problems);
  CheckPorts(&problems);
  return problems;
}

int RunSelfCheck(std::ostream& out) {
  const std::vector<std::string> problems = SelfCheckProblems();
  for (const std::string& problem : problems) out << problem << "\n";
  if (problems.empty()) out << "OK\n";
  return problems.empty() ? 0 : 1;
}
