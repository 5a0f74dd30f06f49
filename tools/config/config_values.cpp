#include "tools/config/config_values.h"

#include "common/email_scramble.h"

const std::vector<ConfigValue>& KnownConfigValues() {
  static const std::vector<ConfigValue> values = {
      {"apppath", ConfigKind::kFolder},  // install folder
      {"apppPath", ConfigKind::kFolder},  // install folder checked at start-up
      {"DBServerPort", ConfigKind::kPort},  // TCP port for the agents (missing: 8585)
      {"ReportTime", ConfigKind::kHour},  // hour of the reports, 0 to 23
      {"EmailAddress", ConfigKind::kEmail},  // recipient of the reports
      {"NotifyHost", ConfigKind::kHost},  // host[:port] of the notification endpoint
      {"RegDaily", ConfigKind::kSwitch},  // 1: daily activity report
      {"RegWeekly", ConfigKind::kSwitch},  // 1: weekly activity report
      {"RegMonthly", ConfigKind::kSwitch},  // 1: monthly activity report
      {"RegDayFilter", ConfigKind::kSwitch},  // 1: daily filter report
      {"RegWeekFilter", ConfigKind::kSwitch},  // 1: weekly filter report
      {"RegMonFilter", ConfigKind::kSwitch},  // 1: monthly filter report
      // hours a contact stays active after its last report (missing: 24)
      {"ContactWindowHours", ConfigKind::kCount},
      {"ContactKeepDays", ConfigKind::kCount},  // days a contact stays listed (missing: 30)
  };
  return values;
}

const ConfigValue* FindConfigValue(std::string_view name) {
  for (const ConfigValue& value : KnownConfigValues())
    if (platform::EqualNoCase(value.name, name)) return &value;
  return nullptr;
}

bool IsNumberKind(ConfigKind kind) {
  return kind == ConfigKind::kPort || kind == ConfigKind::kSwitch || kind == ConfigKind::kCount;
}

std::optional<std::string> DisplayConfigValue(const ConfigValue& value,
                                              const std::optional<platform::RegValue>& stored) {
  if (!stored) return std::nullopt;
  if (IsNumberKind(value.kind)) {
    // The server takes anything longer than four bytes as missing.
    std::optional<uint32_t> n = stored->Number();
    if (!n) return "(not a number: " + std::to_string(stored->data.size()) + " bytes)";
    return std::to_string(*n);
  }
  std::string text = stored->Text();
  return value.kind == ConfigKind::kEmail ? UnscrambleEmail(text) : text;
}
