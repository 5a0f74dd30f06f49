// Registration of Orbeline: the AppID entries under HKEY_CLASSES_ROOT and
// the systemd unit that stands for the installed service. A unit that a
// package installed beside the program counts as installed and is left to
// the package: registration then writes only the registry entries.
#include "platform/files.h"
#include "platform/service_manager.h"
#include "server/base/event_log.h"
#include "server/service/service_module.h"
#include "server/service/service_units.h"

namespace {

using platform::RegistryFile;
using platform::RegRoot;
using platform::RegValue;

constexpr size_t kLocalServiceBufferSize = 260;

// What the registration resources write: the AppID key with the program's
// name and the executable's key naming the AppID. The AppID parent is
// created so that it exists like on any system and is never removed.
void ApplyRegistrationScript(RegistryFile& registry) {
  registry.CreateKey(RegRoot::kClassesRoot, "AppID");
  registry.SetValue(RegRoot::kClassesRoot, kAppIdKey, "", RegValue::String("Orbeline"));
  registry.SetValue(RegRoot::kClassesRoot, kAppIdExeKey, "AppID", RegValue::String(kAppIdGuid));
}

void ApplyUnregistrationScript(RegistryFile& registry) {
  bool had_parent = registry.KeyExists(RegRoot::kClassesRoot, "AppID");
  registry.DeleteKey(RegRoot::kClassesRoot, kAppIdKey);
  registry.DeleteKey(RegRoot::kClassesRoot, kAppIdExeKey);
  if (had_parent) registry.CreateKey(RegRoot::kClassesRoot, "AppID");
}

bool EndsWithZeros(const std::string& data, size_t count) {
  if (data.size() < count) return false;
  for (size_t i = data.size() - count; i < data.size(); ++i) {
    if (data[i] != '\0') return false;
  }
  return true;
}

}  // namespace

bool IsLocalServiceValue(const std::optional<RegValue>& value) {
  if (!value || value->data.size() > kLocalServiceBufferSize) return false;
  if (value->data.empty()) return true;
  switch (value->type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
      return EndsWithZeros(value->data, 1);
    case platform::kRegMultiSz:
      return EndsWithZeros(value->data, 2);
    default:
      return false;
  }
}

bool CServiceModule::IsServiceInstalled() const {
  return platform::ServiceUnitExists(service_name_);
}

bool CServiceModule::InstallService() {
  if (IsServiceInstalled()) return true;
  std::string program = platform::ExecutablePath();
  std::string error = "the program's own path is unknown";
  platform::ServiceResult result =
      program.empty()
          ? platform::ServiceResult::kCreateFailed
          : platform::WriteServiceUnit(service_name_, RegisteredServiceUnit(program), &error);
  switch (result) {
    case platform::ServiceResult::kOk:
      return true;
    case platform::ServiceResult::kManagerUnavailable:
      ShowMessageBox(service_name_,
                     "Couldn't open service manager: " + error + "; nothing was registered");
      return false;
    default:
      ShowMessageBox(service_name_,
                     "Couldn't create service: " + error + "; nothing was registered");
      return false;
  }
}

bool CServiceModule::RemoveService() {
  if (!IsServiceInstalled()) return true;
  switch (platform::DeleteServiceUnit(service_name_)) {
    case platform::ServiceResult::kOk:
      return true;
    case platform::ServiceResult::kManagerUnavailable:
      ShowMessageBox(service_name_, "Couldn't open service manager");
      return false;
    case platform::ServiceResult::kServiceUnavailable:
      ShowMessageBox(service_name_, "Couldn't open service");
      return false;
    default:
      ShowMessageBox(service_name_, "Service could not be deleted");
      return false;
  }
}

// The registry entries are written in one atomic rewrite. A service that
// could not be removed or installed makes the result an error, so that the
// exit code never reports a half-done registration as success; a service
// whose unit could not be written registers nothing, so no later start
// believes it is one.
int CServiceModule::RegisterModule(bool as_service) {
  bool removed = RemoveService();
  if (as_service && (!removed || !InstallService())) return kExitServiceFailed;
  std::string error;
  bool written = platform::EditRegistry(
      platform::RegistryPath(),
      [as_service](RegistryFile& registry) {
        ApplyRegistrationScript(registry);
        registry.DeleteValue(RegRoot::kClassesRoot, kAppIdKey, "LocalService");
        if (as_service) {
          registry.SetValue(RegRoot::kClassesRoot, kAppIdKey, "LocalService",
                            RegValue::String("Orbeline"));
          registry.SetValue(RegRoot::kClassesRoot, kAppIdKey, "ServiceParameters",
                            RegValue::String("-Service"));
        }
        return true;
      },
      &error);
  if (!written) {
    ShowMessageBox(service_name_, error);
    return kExitRegistryWrite;
  }
  return removed ? 0 : kExitServiceFailed;
}

int CServiceModule::UnregisterModule() {
  std::string error;
  bool written = platform::EditRegistry(
      platform::RegistryPath(),
      [](RegistryFile& registry) {
        ApplyUnregistrationScript(registry);
        return true;
      },
      &error);
  bool removed = RemoveService();
  if (!written) {
    ShowMessageBox(service_name_, error);
    return kExitRegistryWrite;
  }
  return removed ? 0 : kExitServiceFailed;
}
