// The configuration values: every value the programs read under
// HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane, with its kind, what a missing value
// means and one line on what it is for. This is the only place their names
// are written; the readers (CRegNumberValue, CRegTextValue), the server,
// Notivo, ledgerix and QuorvaneServerConfig all take them from here.
//
// To add a value: add its row below and its pointer to kAllSettings, then
// read it where it is used. A new kind also needs its hint and number-ness
// (settings.cpp) and its check (the configuration tool's validation).
// Plain constants and pure functions; any thread.
#ifndef COMMON_SETTINGS_H_
#define COMMON_SETTINGS_H_

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/parse_digits.h"

// The key every value lies in, under HKEY_LOCAL_MACHINE.
inline constexpr char kSettingsKey[] = "SOFTWARE\\Quorvane";

enum class SettingKind {
  kPort,        // number 1..65535
  kSwitch,      // number 0 or 1
  kHour,        // text "0".."23", no leading zero
  kFolder,      // text, an absolute folder ending in "/"
  kEmail,       // text, stored scrambled
  kHost,        // text, host[:port] or https://host[:port]
  kCount,       // number 1..100000 (hours or days)
  kAddress,     // text, an IPv4 address or empty
  kNetworks,    // text, comma-separated IPv4 networks in CIDR form, or empty
  kCountOrOff,  // number 0..100000, 0 turning the feature off
  kConnection,  // text, a PostgreSQL connection string or URI, or empty
  kFile,        // text, an absolute file path, or empty
  kEndpoint,    // text, IPv4address:port, or empty
};

struct Setting {
  std::string_view name;  // canonical spelling, as stored
  SettingKind kind;
  std::string_view default_value;  // what a missing value means; "" for nothing
  std::string_view meaning;        // one line, for the configuration tool's help
};

namespace setting {

// clang-format off
inline constexpr Setting kAppPath{"apppath", SettingKind::kFolder, "",
    "install folder"};
inline constexpr Setting kStartupAppPath{"apppPath", SettingKind::kFolder, "",
    "install folder checked at start-up"};
inline constexpr Setting kDbServerPort{"DBServerPort", SettingKind::kPort, "8585",
    "TCP port for the agents"};
inline constexpr Setting kReportTime{"ReportTime", SettingKind::kHour, "",
    "hour of the reports"};
inline constexpr Setting kEmailAddress{"EmailAddress", SettingKind::kEmail, "",
    "recipient of the reports"};
inline constexpr Setting kNotifyHost{"NotifyHost", SettingKind::kHost, "127.0.0.1",
    "host of the notification endpoint; https://host for HTTPS"};
inline constexpr Setting kNotifyCAFile{"NotifyCAFile", SettingKind::kFile, "",
    "CA file for an https:// NotifyHost (empty: the system's)"};
inline constexpr Setting kRegDaily{"RegDaily", SettingKind::kSwitch, "0",
    "daily activity report"};
inline constexpr Setting kRegWeekly{"RegWeekly", SettingKind::kSwitch, "0",
    "weekly activity report"};
inline constexpr Setting kRegMonthly{"RegMonthly", SettingKind::kSwitch, "0",
    "monthly activity report"};
inline constexpr Setting kRegDayFilter{"RegDayFilter", SettingKind::kSwitch, "0",
    "daily filter report"};
inline constexpr Setting kRegWeekFilter{"RegWeekFilter", SettingKind::kSwitch, "0",
    "weekly filter report"};
inline constexpr Setting kRegMonFilter{"RegMonFilter", SettingKind::kSwitch, "0",
    "monthly filter report"};
inline constexpr Setting kContactWindowHours{"ContactWindowHours", SettingKind::kCount, "24",
    "hours a contact stays active after its last report"};
inline constexpr Setting kContactKeepDays{"ContactKeepDays", SettingKind::kCount, "30",
    "days a contact stays listed after its last report"};
inline constexpr Setting kListenAddress{"ListenAddress", SettingKind::kAddress, "",
    "address the agents' port listens on (empty: all)"};
inline constexpr Setting kAgentNetworks{"AgentNetworks", SettingKind::kNetworks, "",
    "networks whose agents are heard (empty: all)"};
inline constexpr Setting kAgentAddressCheck{"AgentAddressCheck", SettingKind::kSwitch, "0",
    "drop reports naming another address than their sender's"};
inline constexpr Setting kKeepDays{"KeepDays", SettingKind::kCountOrOff, "0",
    "days of web and filter activity kept (0 keeps everything)"};
inline constexpr Setting kActivityDatabase{"ActivityDatabase", SettingKind::kConnection, "",
    "PostgreSQL connection for the activity (empty: webfilter.dbs)"};
inline constexpr Setting kReportPseudonyms{"ReportPseudonyms", SettingKind::kSwitch, "0",
    "reports show users as pseudonyms, without address and computer"};
inline constexpr Setting kMetricsAddress{"MetricsAddress", SettingKind::kEndpoint, "",
    "address:port of the Prometheus metrics at /metrics (empty: off)"};
// clang-format on

}  // namespace setting

// A NotifyHost that starts with this names an HTTPS endpoint; without it the
// endpoint is plain HTTP.
inline constexpr std::string_view kHttpsPrefix = "https://";

// Every value, in the order the configuration tool lists them.
inline constexpr const Setting* kAllSettings[] = {
    &setting::kAppPath,        &setting::kStartupAppPath,     &setting::kDbServerPort,
    &setting::kReportTime,     &setting::kEmailAddress,       &setting::kNotifyHost,
    &setting::kNotifyCAFile,   &setting::kRegDaily,           &setting::kRegWeekly,
    &setting::kRegMonthly,     &setting::kRegDayFilter,       &setting::kRegWeekFilter,
    &setting::kRegMonFilter,   &setting::kContactWindowHours, &setting::kContactKeepDays,
    &setting::kListenAddress,  &setting::kAgentNetworks,      &setting::kAgentAddressCheck,
    &setting::kKeepDays,       &setting::kActivityDatabase,   &setting::kReportPseudonyms,
    &setting::kMetricsAddress,
};

inline std::span<const Setting* const> AllSettings() { return kAllSettings; }

// The value whose name equals `name` without regard to ASCII case, as the
// registry compares names; nullptr when there is none.
const Setting* FindSetting(std::string_view name);

// True for the kinds stored as 4-byte numbers (dword).
bool IsNumberKind(SettingKind kind);

// What a value of the kind looks like, in a few words, for help texts.
std::string_view KindHint(SettingKind kind);

// The default of a number value as a number: its decimal text, 0 when empty.
inline uint32_t DefaultNumber(const Setting& setting) {
  return platform::ParseDigits<uint32_t>(setting.default_value).value_or(0);
}

#endif  // COMMON_SETTINGS_H_
