#include "tools/config/display_config_value.h"

#include "common/email_scramble.h"

std::optional<std::string> DisplayConfigValue(const Setting& setting,
                                              const std::optional<platform::RegValue>& stored) {
  if (!stored) return std::nullopt;
  if (IsNumberKind(setting.kind)) {
    // The server takes anything longer than four bytes as missing.
    std::optional<uint32_t> n = stored->Number();
    if (!n) return "(not a number: " + std::to_string(stored->data.size()) + " bytes)";
    return std::to_string(*n);
  }
  std::string text = stored->Text();
  return setting.kind == SettingKind::kEmail ? UnscrambleEmail(text) : text;
}
