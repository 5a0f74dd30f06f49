#include "common/reg_value.h"

#include <cstring>

CRegValueBase::CRegValueBase(const std::string& full_name, bool force,
                             platform::RegRoot base_key)
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
  size_t first = value_name_.find_first_not_of('\\');
  value_name_ = first == std::string::npos ? "" : value_name_.substr(first);
}

bool CRegValueBase::QueryRaw(std::string* bytes) const {
  platform::RegistryFile registry = platform::LoadRegistry(platform::RegistryPath());
  if (!registry.KeyExists(base_key_, key_path_)) return false;
  auto value = registry.Query(base_key_, key_path_, value_name_);
  if (!value) return false;
  *bytes = value->data;
  return true;
}

CRegNumberValue::CRegNumberValue(const std::string& full_name, uint32_t default_value,
                                 bool force, platform::RegRoot base_key)
    : CRegValueBase(full_name, force, base_key), default_(default_value) {
  Read();
}

uint32_t CRegNumberValue::Read() {
  std::string bytes;
  // The type is ignored: whatever fits in four bytes is the number.
  if (!QueryRaw(&bytes) || bytes.size() > 4) return default_;
  uint32_t n = 0;
  for (size_t i = 0; i < bytes.size(); ++i) n |= uint32_t(uint8_t(bytes[i])) << (8 * i);
  value_ = n;
  read_ = true;
  return value_;
}

uint32_t CRegNumberValue::Value() { return (read_ && !force_) ? value_ : Read(); }

CRegTextValue::CRegTextValue(const std::string& full_name, std::string default_value,
                             bool force, platform::RegRoot base_key)
    : CRegValueBase(full_name, force, base_key), default_(std::move(default_value)) {
  Read();
}

std::string CRegTextValue::Read() {
  std::string bytes;
  if (!QueryRaw(&bytes)) return default_;
  value_ = bytes.substr(0, bytes.find('\0'));
  read_ = true;
  return value_;
}

std::string CRegTextValue::Value() { return (read_ && !force_) ? value_ : Read(); }
