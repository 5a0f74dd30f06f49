// Registry readers for the values under SOFTWARE\Quorvane.
//
// The programs make readers from the entries of the settings table, which
// give the name and the value a missing value stands for. Readers made from
// a full name serve tests and values outside the table.
//
// A reader is made on the stack where a value is needed, used at once and
// dropped, on the thread that made it. Readers share only the parsed file
// (platform::ReadRegistry), which is parsed again only when the file has
// changed; any number of threads read at once. The full name's text before its
// last backslash is the key path, the text after it the value name; leading
// backslashes are ignored. A read that fails in any way yields the default
// and never reports anything.
#ifndef COMMON_REG_VALUE_H_
#define COMMON_REG_VALUE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "common/settings.h"
#include "platform/registry.h"

// Fields and reading rules shared by the two readers.
class CRegValueBase {
 public:
  const std::string& key_path() const { return key_path_; }
  const std::string& value_name() const { return value_name_; }
  bool read() const { return read_; }

 protected:
  CRegValueBase(const std::string& full_name, bool force, platform::RegRoot base_key);
  // The stored value, when the key and the value exist.
  std::optional<platform::RegValue> Query() const;

  platform::RegRoot base_key_;
  std::string value_name_;
  std::string key_path_;
  bool read_ = false;
  bool force_;
};

class CRegNumberValue final : public CRegValueBase {
 public:
  explicit CRegNumberValue(const std::string& full_name, uint32_t default_value = 0,
                           bool force = false,
                           platform::RegRoot base_key = platform::RegRoot::kLocalMachine);
  // The setting's value; missing, its default.
  explicit CRegNumberValue(const Setting& setting, bool force = false);
  // Reads the registry now.
  uint32_t Read();
  // The stored value when read once and not forced; else a new read.
  uint32_t Value();

 private:
  uint32_t value_ = 0;
  uint32_t default_;
};

class CRegTextValue final : public CRegValueBase {
 public:
  explicit CRegTextValue(const std::string& full_name, std::string default_value = "",
                         bool force = false,
                         platform::RegRoot base_key = platform::RegRoot::kLocalMachine);
  explicit CRegTextValue(const Setting& setting, bool force = false);
  std::string Read();
  std::string Value();

 private:
  std::string value_;
  std::string default_;
};

#endif  // COMMON_REG_VALUE_H_
