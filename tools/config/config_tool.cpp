#include "tools/config/config_tool.h"

#include <algorithm>
#include <functional>
#include <iomanip>
#include <optional>

#include "common/settings.h"
#include "platform/registry.h"
#include "platform/registry_cache.h"
#include "tools/config/display_config_value.h"
#include "tools/config/validate_config_value.h"

namespace {

constexpr platform::RegRoot kRoot = platform::RegRoot::kLocalMachine;
constexpr char kProgram[] = "QuorvaneServerConfig";

void PrintUsage(std::ostream& stream) {
  stream << "usage: " << kProgram << " show | get NAME | set NAME VALUE | unset NAME\n";
}

size_t NameWidth() {
  size_t width = 0;
  for (const Setting* setting : AllSettings()) width = std::max(width, setting->name.size());
  return width;
}

void PrintHelp(std::ostream& out) {
  PrintUsage(out);
  out << "\nvalues under HKEY_LOCAL_MACHINE\\" << kSettingsKey << ":\n";
  const int width = int(NameWidth());
  for (const Setting* setting : AllSettings()) {
    out << "  " << std::left << std::setw(width) << setting->name << "  " << std::setw(19)
        << KindHint(setting->kind) << setting->meaning;
    if (!setting->default_value.empty()) out << " (missing: " << setting->default_value << ")";
    out << '\n';
  }
}

void PrintNames(std::ostream& err) {
  err << "known names:";
  for (const Setting* setting : AllSettings()) err << ' ' << setting->name;
  err << '\n';
}

const Setting* LookUp(const std::string& name, std::ostream& err) {
  const Setting* value = FindSetting(name);
  if (!value) {
    err << kProgram << ": unknown value name \"" << name << "\"\n";
    PrintNames(err);
  }
  return value;
}

std::optional<platform::RegValue> Stored(const platform::RegistryFile& registry,
                                         const Setting& value) {
  return registry.Query(kRoot, kSettingsKey, value.name);
}

// Unlike the server's readers, the tool says so when the file exists but
// cannot be read, instead of showing every value as not set, and names a
// line it skipped: the values shown are those the server reads.
std::optional<platform::RegistryFile> Load(std::ostream& err) {
  std::string contents, error;
  const std::string path = platform::RegistryPath();
  if (!platform::ReadRegistryText(path, &contents, &error)) {
    err << kProgram << ": " << error << '\n';
    return std::nullopt;
  }
  platform::RegistryFile registry;
  platform::ParseReport report = registry.Parse(contents);
  if (!report.complete()) err << kProgram << ": " << path << ": " << report.Describe() << '\n';
  return registry;
}

int Show(std::ostream& out, std::ostream& err) {
  auto registry = Load(err);
  if (!registry) return kConfigRejected;
  const int width = int(NameWidth());
  for (const Setting* setting : AllSettings()) {
    auto shown = DisplayConfigValue(*setting, Stored(*registry, *setting));
    out << std::left << std::setw(width) << setting->name << ' ' << shown.value_or("(not set)")
        << '\n';
  }
  return kConfigOk;
}

int Get(const std::string& name, std::ostream& out, std::ostream& err) {
  const Setting* value = LookUp(name, err);
  if (!value) return kConfigRejected;
  auto registry = Load(err);
  if (!registry) return kConfigRejected;
  auto shown = DisplayConfigValue(*value, Stored(*registry, *value));
  if (!shown) {
    err << kProgram << ": " << value->name << " is not set\n";
    return kConfigRejected;
  }
  out << *shown << '\n';
  return kConfigOk;
}

int Write(const std::function<bool(platform::RegistryFile&)>& edit, std::ostream& err) {
  std::string error;
  if (!platform::EditRegistry(platform::RegistryPath(), edit, &error)) {
    err << kProgram << ": " << error << '\n';
    return kConfigRejected;
  }
  return kConfigOk;
}

int Set(const std::string& name, const std::string& input, std::ostream& err) {
  const Setting* value = LookUp(name, err);
  if (!value) return kConfigRejected;
  platform::RegValue stored;
  std::string error;
  if (!ValidateConfigValue(*value, input, &stored, &error)) {
    err << kProgram << ": " << error << '\n';
    return kConfigRejected;
  }
  return Write(
      [&](platform::RegistryFile& registry) {
        // Removed first so that the value takes the canonical spelling.
        registry.DeleteValue(kRoot, kSettingsKey, value->name);
        registry.SetValue(kRoot, kSettingsKey, value->name, stored);
        return true;
      },
      err);
}

int Unset(const std::string& name, std::ostream& err) {
  const Setting* value = LookUp(name, err);
  if (!value) return kConfigRejected;
  return Write(
      [&](platform::RegistryFile& registry) {
        return registry.DeleteValue(kRoot, kSettingsKey, value->name);
      },
      err);
}

}  // namespace

int RunConfigTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string command = args.empty() ? "" : args[0];
  if (args.size() == 1 && (command == "help" || command == "--help" || command == "-h")) {
    PrintHelp(out);
    return kConfigOk;
  }
  if (command == "show" && args.size() == 1) return Show(out, err);
  if (command == "get" && args.size() == 2) return Get(args[1], out, err);
  if (command == "set" && args.size() == 3) return Set(args[1], args[2], err);
  if (command == "unset" && args.size() == 2) return Unset(args[1], err);
  if (command.empty()) {
    err << kProgram << ": no command given\n";
  } else {
    err << kProgram << ": wrong command or number of arguments: " << command << '\n';
  }
  PrintUsage(err);
  return kConfigUsage;
}
