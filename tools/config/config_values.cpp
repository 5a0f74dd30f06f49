#include "tools/config/config_values.h"

#include "common/email_scramble.h"

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

const std::vector<ConfigValue>& KnownConfigValues() {
  static const std::vector<ConfigValue> values = {
      {"apppath", ConfigKind::kFolder, "install folder"},
      {"apppPath", ConfigKind::kFolder, "install folder checked at start-up"},
      {"DBServerPort", ConfigKind::kPort, "TCP port for the agents (missing: 8585)"},
      {"ReportTime", ConfigKind::kHour, "hour of the reports, 0 to 23"},
      {"EmailAddress", ConfigKind::kEmail, "recipient of the reports"},
      {"NotifyHost", ConfigKind::kHost, "host[:port] of the notification endpoint"},
      {"RegDaily", ConfigKind::kSwitch, "1: daily activity report"},
      {"RegWeekly", ConfigKind::kSwitch, "1: weekly activity report"},
      {"RegMonthly", ConfigKind::kSwitch, "1: monthly activity report"},
      {"RegDayFilter", ConfigKind::kSwitch, "1: daily filter report"},
      {"RegWeekFilter", ConfigKind::kSwitch, "1: weekly filter report"},
      {"RegMonFilter", ConfigKind::kSwitch, "1: monthly filter report"},
      {"ContactWindowHours", ConfigKind::kCount,
       "hours a contact stays active after its last report (missing: 24)"},
      {"ContactKeepDays", ConfigKind::kCount, "days a contact stays listed (missing: 30)"},
  };
  return values;
}

const ConfigValue* FindConfigValue(std::string_view name) {
  for (const ConfigValue& value : KnownConfigValues())
    if (EqualNoCase(value.name, name)) return &value;
  return nullptr;
}

bool IsNumberKind(ConfigKind kind) {
  return kind == ConfigKind::kPort || kind == ConfigKind::kSwitch || kind == ConfigKind::kCount;
}

std::optional<std::string> DisplayConfigValue(const ConfigValue& value,
                                              const std::optional<platform::RegValue>& stored) {
  if (!stored) return std::nullopt;
  const std::string& bytes = stored->data;
  if (IsNumberKind(value.kind)) {
    // The server takes anything longer than four bytes as missing.
    if (bytes.size() > 4) return "(not a number: " + std::to_string(bytes.size()) + " bytes)";
    uint32_t n = 0;
    for (size_t i = 0; i < bytes.size(); ++i) n |= uint32_t(uint8_t(bytes[i])) << (8 * i);
    return std::to_string(n);
  }
  std::string text = bytes.substr(0, bytes.find('\0'));
  return value.kind == ConfigKind::kEmail ? UnscrambleEmail(text) : text;
}
