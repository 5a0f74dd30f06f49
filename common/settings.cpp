#include "common/settings.h"

#include "platform/strings.h"

const Setting* FindSetting(std::string_view name) {
  for (const Setting* setting : AllSettings())
    if (platform::EqualNoCase(setting->name, name)) return setting;
  return nullptr;
}

bool IsNumberKind(SettingKind kind) {
  return kind == SettingKind::kPort || kind == SettingKind::kSwitch ||
         kind == SettingKind::kCount || kind == SettingKind::kCountOrOff;
}

std::string_view KindHint(SettingKind kind) {
  switch (kind) {
    case SettingKind::kPort:
      return "1 to 65535";
    case SettingKind::kSwitch:
      return "0 (off) or 1 (on)";
    case SettingKind::kHour:
      return "hour 0 to 23";
    case SettingKind::kFolder:
      return "absolute folder";
    case SettingKind::kEmail:
      return "e-mail address";
    case SettingKind::kHost:
      return "host or host:port";
    case SettingKind::kCount:
      return "1 to 100000";
    case SettingKind::kAddress:
      return "IPv4 address";
    case SettingKind::kNetworks:
      return "a.b.c.d/n,...";
    case SettingKind::kCountOrOff:
      return "0 (off) to 100000";
    case SettingKind::kConnection:
      return "host=... dbname=... or postgresql://...";
    case SettingKind::kFile:
      return "absolute file";
    case SettingKind::kEndpoint:
      return "IPv4address:port";
  }
  return "";
}
