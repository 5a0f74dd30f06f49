// How the configuration tool shows a stored value. Pure function; any
// thread may call.
#ifndef TOOLS_CONFIG_DISPLAY_CONFIG_VALUE_H_
#define TOOLS_CONFIG_DISPLAY_CONFIG_VALUE_H_

#include <optional>
#include <string>

#include "common/settings.h"
#include "platform/registry.h"

// The value as a person reads it, from what the registry holds: numbers as
// the server reads them (up to 4 bytes, little-endian), texts up to their
// first zero byte, the e-mail address unscrambled. Nothing when not set.
std::optional<std::string> DisplayConfigValue(const Setting& setting,
                                              const std::optional<platform::RegValue>& stored);

#endif  // TOOLS_CONFIG_DISPLAY_CONFIG_VALUE_H_
