#include "common/settings.h"

#include "platform/strings.h"

const Setting* FindSetting(std::string_view name) {
  for (const Setting* setting : AllSettings())
    if (platform::EqualNoCase(setting->name, name)) return setting;
  return nullptr;
}

bool IsNumberKind(SettingKind kind) {
  return kind == SettingKind::kPort || kind == SettingKind::kSwitch || kind == SettingKind::kCount;
}
