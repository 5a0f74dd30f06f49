// The configuration values under HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane that
// the configuration tool knows: their canonical spelling, what they hold and
// how they are shown. Plain data and pure functions; any thread may call.
#ifndef TOOLS_CONFIG_CONFIG_VALUES_H_
#define TOOLS_CONFIG_CONFIG_VALUES_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

// The key every value lies in, under HKEY_LOCAL_MACHINE.
inline constexpr char kConfigKey[] = "SOFTWARE\\Quorvane";

enum class ConfigKind {
  kPort,    // number 1..65535
  kSwitch,  // number 0 or 1
  kHour,    // text "0".."23", no leading zero
  kFolder,  // text, an absolute folder ending in "/"
  kEmail,   // text, stored scrambled
  kHost,    // text, host[:port]
  kCount,   // number 1..100000 (hours or days)
};

struct ConfigValue {
  const char* name;  // canonical spelling, as stored
  ConfigKind kind;
};

// Every known value, in the order `show` lists them.
const std::vector<ConfigValue>& KnownConfigValues();

// The value whose name equals `name` without regard to ASCII case.
const ConfigValue* FindConfigValue(std::string_view name);

// True for the kinds stored as 4-byte numbers (dword).
bool IsNumberKind(ConfigKind kind);

// The value as a person reads it, from what the registry holds: numbers as
// the server reads them (up to 4 bytes, little-endian), texts up to their
// first zero byte, the e-mail address unscrambled. Nothing when not set.
std::optional<std::string> DisplayConfigValue(const ConfigValue& value,
                                              const std::optional<platform::RegValue>& stored);

#endif  // TOOLS_CONFIG_CONFIG_VALUES_H_
