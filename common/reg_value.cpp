#include "common/reg_value.h"

#include "platform/registry_cache.h"

namespace {

std::string FullName(const Setting& setting) {
  return std::string(kSettingsKey) + "\\" + std::string(setting.name);
}

}  // namespace

CRegValueBase::CRegValueBase(const std::string& full_name, bool force, platform::RegRoot base_key)
    : base_key_(base_key), force_(force) {
  size_t start = full_name.find_first_not_of('\\');
  std::string name = start == std::string::npos ? "" : full_name.substr(start);
  size_t last = name.rfind('\\');
  if (last == std::string::npos) {
    value_name_ = name;
  } else {
    key_path_ = name.substr(0, last);
    while (!key_path_.empty() && key_path_.back() == '\\') key_path_.pop_back();
    value_name_ = name.substr(last + 1);
  }
}

std::optional<platform::RegValue> CRegValueBase::Query() const {
  return platform::ReadRegistry(platform::RegistryPath())
      .file->Query(base_key_, key_path_, value_name_);
}

CRegNumberValue::CRegNumberValue(const std::string& full_name, uint32_t default_value, bool force,
                                 platform::RegRoot base_key)
    : CRegValueBase(full_name, force, base_key), default_(default_value) {
  Read();
}

CRegNumberValue::CRegNumberValue(const Setting& setting, bool force)
    : CRegNumberValue(FullName(setting), DefaultNumber(setting), force) {}

uint32_t CRegNumberValue::Read() {
  // The type is ignored: whatever fits in four bytes is the number.
  std::optional<platform::RegValue> stored = Query();
  std::optional<uint32_t> number = stored ? stored->Number() : std::nullopt;
  if (!number) return default_;
  value_ = *number;
  read_ = true;
  return value_;
}

uint32_t CRegNumberValue::Value() { return (read_ && !force_) ? value_ : Read(); }

CRegTextValue::CRegTextValue(const std::string& full_name, std::string default_value, bool force,
                             platform::RegRoot base_key)
    : CRegValueBase(full_name, force, base_key), default_(std::move(default_value)) {
  Read();
}

CRegTextValue::CRegTextValue(const Setting& setting, bool force)
    : CRegTextValue(FullName(setting), std::string(setting.default_value), force) {}

std::string CRegTextValue::Read() {
  std::optional<platform::RegValue> stored = Query();
  if (!stored) return default_;
  value_ = stored->Text();
  read_ = true;
  return value_;
}

std::string CRegTextValue::Value() { return (read_ && !force_) ? value_ : Read(); }
