// Checks a value typed for `QuorvaneServerConfig set` and turns it into what
// the registry stores. Pure function; any thread may call.
#ifndef TOOLS_CONFIG_VALIDATE_CONFIG_VALUE_H_
#define TOOLS_CONFIG_VALIDATE_CONFIG_VALUE_H_

#include <string>
#include <string_view>

#include "common/settings.h"
#include "platform/registry.h"

// On success sets `stored` (a dword for numbers, a string for texts, the
// e-mail address scrambled) and returns true; otherwise sets `error` to a
// sentence naming the value and what it must be.
bool ValidateConfigValue(const Setting& value, std::string_view input, platform::RegValue* stored,
                         std::string* error);

#endif  // TOOLS_CONFIG_VALIDATE_CONFIG_VALUE_H_
