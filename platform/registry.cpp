#include "platform/registry.h"

#include <cstdlib>
#include <cstdio>
#include <vector>
#include <utility>

#include "platform/strings.h"

namespace platform {
namespace {

std::string_view TrimBackslashes(std::string_view path) {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return path;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

void AppendUtf8(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    out->push_back(char(cp));
  } else if (cp < 0x800) {
    out->push_back(char(0xC0 | (cp >> 6)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(char(0xE0 | (cp >> 12)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(char(0xF0 | (cp >> 18)));
    out->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  }
}

// Windows' registry editor exports UTF-16LE with a byte-order mark.
std::string DecodeText(std::string_view raw) {
  if (raw.size() >= 2 && uint8_t(raw[0]) == 0xFF && uint8_t(raw[1]) == 0xFE) {
    std::string out;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) {
      uint32_t unit = uint8_t(raw[i]) | (uint32_t(uint8_t(raw[i + 1])) << 8);
      if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < raw.size()) {
        uint32_t low = uint8_t(raw[i + 2]) | (uint32_t(uint8_t(raw[i + 3])) << 8);
        if (low >= 0xDC00 && low < 0xE000) {
          AppendUtf8(&out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
          i += 2;
          continue;
        }
      }
      AppendUtf8(&out, unit);
    }
    return out;
  }
  if (raw.size() >= 3 && raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
  return std::string(raw);
}

std::optional<RegRoot> ParseRoot(std::string_view name) {
  if (EqualNoCase(name, "HKEY_LOCAL_MACHINE") || EqualNoCase(name, "HKLM"))
    return RegRoot::kLocalMachine;
  if (EqualNoCase(name, "HKEY_CLASSES_ROOT") || EqualNoCase(name, "HKCR"))
    return RegRoot::kClassesRoot;
  return std::nullopt;
}

// Splits "ROOT\path" into its root and key path.
std::optional<std::pair<RegRoot, std::string>> ParseKeyName(std::string_view full) {
  full = TrimBackslashes(full);
  size_t slash = full.find('\\');
  auto root = ParseRoot(full.substr(0, slash));
  if (!root) return std::nullopt;
  std::string_view path = slash == std::string_view::npos ? "" : full.substr(slash + 1);
  return std::make_pair(*root, std::string(TrimBackslashes(path)));
}

// Reads a quoted string starting at s[0] == '"'; sets `rest` after it.
std::optional<std::string> ParseQuoted(std::string_view s, std::string_view* rest) {
  if (s.empty() || s[0] != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out.push_back(s[++i]);
    } else if (s[i] == '"') {
      *rest = s.substr(i + 1);
      return out;
    } else {
      out.push_back(s[i]);
    }
  }
  return std::nullopt;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = LowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One to eight hex digits, as after "dword:" or inside "hex(...)".
std::optional<uint32_t> ParseHexNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t n = 0;
  for (char c : digits) {
    int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    n = n * 16 + uint32_t(d);
  }
  return n;
}

std::optional<std::string> ParseHexBytes(std::string_view s) {
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == ',')) ++i;
    if (i >= s.size()) break;
    if (i + 1 >= s.size()) return std::nullopt;
    int hi = HexDigit(s[i]), lo = HexDigit(s[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(char(hi * 16 + lo));
    i += 2;
    if (i < s.size() && s[i] != ',' && s[i] != ' ' && s[i] != '\t') return std::nullopt;
  }
  return out;
}

// Parses the data after '='; nullopt when malformed.
std::optional<RegValue> ParseData(std::string_view data) {
  data = TrimBlanks(data);
  if (!data.empty() && data[0] == '"') {
    std::string_view rest;
    auto text = ParseQuoted(data, &rest);
    if (!text || !TrimBlanks(rest).empty()) return std::nullopt;
    return RegValue::String(*text);
  }
  if (data.substr(0, 6) == "dword:") {
    auto n = ParseHexNumber(data.substr(6));
    if (!n) return std::nullopt;
    return RegValue::Dword(*n);
  }
  if (data.substr(0, 4) == "hex:") {
    auto bytes = ParseHexBytes(data.substr(4));
    if (!bytes) return std::nullopt;
    return RegValue{kRegBinary, *bytes};
  }
  if (data.substr(0, 4) == "hex(") {
    size_t close = data.find(')');
    if (close == std::string_view::npos || close + 1 >= data.size() || data[close + 1] != ':')
      return std::nullopt;
    auto type = ParseHexNumber(data.substr(4, close - 4));
    auto bytes = ParseHexBytes(data.substr(close + 2));
    if (!type || !bytes) return std::nullopt;
    return RegValue{*type, *bytes};
  }
  return std::nullopt;
}

// True when the line ends in a backslash that is not inside a quoted string:
// hex data continues on the next line. The value's name is quoted and may
// itself hold escaped backslashes and quotes, so the quotes are followed.
bool ContinuesOnNextLine(std::string_view line) {
  if (line.empty() || line.back() != '\\' || line[0] == ';') return false;
  bool in_string = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (in_string && line[i] == '\\') {
      if (i + 1 == line.size()) return false;  // an escape cut off by the line end
      ++i;
    } else if (line[i] == '"') {
      in_string = !in_string;
    }
  }
  return !in_string;
}

// Joins lines that end in a backslash outside a string (hex continuations).
std::vector<std::string> LogicalLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view trimmed = TrimBlanks(line);
    if (ContinuesOnNextLine(trimmed)) {
      trimmed.remove_suffix(1);
      current.append(current.empty() ? trimmed : TrimBlanks(trimmed));
    } else {
      current.append(current.empty() ? line : TrimBlanks(line));
      lines.push_back(std::move(current));
      current.clear();
    }
    start = end + 1;
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

// True when `key` is the key `path` (already trimmed) of `root` or one below it.
bool IsAtOrBelow(const RegistryFile::Key& key, RegRoot root, std::string_view path) {
  if (key.root != root || key.path.size() < path.size()) return false;
  if (!EqualNoCase(std::string_view(key.path).substr(0, path.size()), path)) return false;
  return key.path.size() == path.size() || key.path[path.size()] == '\\';
}

bool IsPlainString(const RegValue& v) {
  if (v.type != kRegSz || v.data.empty() || v.data.back() != '\0') return false;
  if (v.data.find('\0') != v.data.size() - 1) return false;
  for (char c : v.data)
    if (c == '\n' || c == '\r') return false;
  return true;
}

std::string HexList(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", unsigned(uint8_t(bytes[i])));
    if (i) out.push_back(',');
    out.append(buf);
  }
  return out;
}

std::string EscapeString(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// Built by appending: gcc 12 at -O3 misreads `"x" + std::string` (-Wrestrict).
std::string Quoted(std::string_view s) {
  std::string out(1, '"');
  out.append(EscapeString(s));
  out.push_back('"');
  return out;
}

std::string SerializeValue(const RegistryFile::Value& v) {
  std::string line = v.name.empty() ? std::string("@") : Quoted(v.name);
  line.push_back('=');
  const RegValue& value = v.value;
  char buf[32];
  if (IsPlainString(value)) {
    line += Quoted(std::string_view(value.data).substr(0, value.data.size() - 1));
  } else if (value.type == kRegDword && value.data.size() == 4) {
    std::snprintf(buf, sizeof buf, "dword:%08x", unsigned(*value.Number()));
    line += buf;
  } else if (value.type == kRegBinary) {
    line.append("hex:").append(HexList(value.data));
  } else {
    std::snprintf(buf, sizeof buf, "hex(%x):", unsigned(value.type));
    line += buf + HexList(value.data);
  }
  return line;
}

}  // namespace

RegValue RegValue::String(std::string_view text) {
  RegValue v{kRegSz, std::string(text)};
  v.data.push_back('\0');
  return v;
}

RegValue RegValue::Dword(uint32_t n) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[size_t(i)] = char((n >> (8 * i)) & 0xFF);
  return RegValue{kRegDword, bytes};
}

std::optional<uint32_t> RegValue::Number() const {
  if (data.size() > 4) return std::nullopt;
  uint32_t n = 0;
  for (size_t i = 0; i < data.size(); ++i) n |= uint32_t(uint8_t(data[i])) << (8 * i);
  return n;
}

std::string RegValue::Text() const { return data.substr(0, data.find('\0')); }

std::string_view RootName(RegRoot root) {
  return root == RegRoot::kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CLASSES_ROOT";
}

void RegistryFile::Parse(std::string_view contents) {
  keys_.clear();
  Key* current = nullptr;
  for (const std::string& raw : LogicalLines(DecodeText(contents))) {
    std::string_view line = TrimBlanks(raw);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      current = nullptr;
      if (line.back() != ']') continue;
      std::string_view name = line.substr(1, line.size() - 2);
      bool remove = !name.empty() && name[0] == '-';
      if (remove) name.remove_prefix(1);
      auto key = ParseKeyName(name);
      if (!key) continue;
      if (remove) {
        DeleteKeyTree(key->first, key->second);
      } else {
        current = &FindOrCreateKey(key->first, key->second);
      }
      continue;
    }
    if (!current) continue;  // the header line and values outside a section
    std::string name;
    std::string_view rest;
    if (line[0] == '@') {
      rest = line.substr(1);
    } else {
      auto quoted = ParseQuoted(line, &rest);
      if (!quoted) continue;
      name = *quoted;
    }
    rest = TrimBlanks(rest);
    if (rest.empty() || rest[0] != '=') continue;
    std::string_view data = TrimBlanks(rest.substr(1));
    if (data == "-") {
      DeleteValue(current->root, current->path, name);
      continue;
    }
    if (auto value = ParseData(data)) SetValue(current->root, current->path, name, *value);
  }
}

std::string RegistryFile::Serialize() const {
  std::string out = "Windows Registry Editor Version 5.00\n";
  for (const Key& key : keys_) {
    out += "\n[";
    out += RootName(key.root);
    if (!key.path.empty()) out += "\\" + key.path;
    out += "]\n";
    for (const Value& v : key.values) out += SerializeValue(v) + "\n";
  }
  return out;
}

const RegistryFile::Key* RegistryFile::FindKey(RegRoot root, std::string_view path) const {
  path = TrimBackslashes(path);
  for (const Key& key : keys_)
    if (key.root == root && EqualNoCase(key.path, path)) return &key;
  return nullptr;
}

RegistryFile::Key* RegistryFile::FindKey(RegRoot root, std::string_view path) {
  return const_cast<Key*>(std::as_const(*this).FindKey(root, path));
}

bool RegistryFile::KeyExists(RegRoot root, std::string_view path) const {
  path = TrimBackslashes(path);
  if (path.empty()) return true;  // the roots always exist
  for (const Key& key : keys_)
    if (IsAtOrBelow(key, root, path)) return true;
  return false;
}

std::optional<RegValue> RegistryFile::Query(RegRoot root, std::string_view path,
                                            std::string_view name) const {
  const Key* key = FindKey(root, path);
  if (!key) return std::nullopt;
  for (const Value& v : key->values)
    if (EqualNoCase(v.name, name)) return v.value;
  return std::nullopt;
}

RegistryFile::Key& RegistryFile::FindOrCreateKey(RegRoot root, std::string_view path) {
  if (Key* key = FindKey(root, path)) return *key;
  return keys_.emplace_back(Key{root, std::string(TrimBackslashes(path)), {}});
}

void RegistryFile::CreateKey(RegRoot root, std::string_view path) { FindOrCreateKey(root, path); }

void RegistryFile::SetValue(RegRoot root, std::string_view path, std::string_view name,
                            RegValue value) {
  Key& key = FindOrCreateKey(root, path);
  for (Value& v : key.values) {
    if (EqualNoCase(v.name, name)) {
      v.value = std::move(value);
      return;
    }
  }
  key.values.push_back(Value{std::string(name), std::move(value)});
}

bool RegistryFile::DeleteValue(RegRoot root, std::string_view path, std::string_view name) {
  Key* key = FindKey(root, path);
  if (!key) return false;
  for (auto it = key->values.begin(); it != key->values.end(); ++it) {
    if (EqualNoCase(it->name, name)) {
      key->values.erase(it);
      return true;
    }
  }
  return false;
}

bool RegistryFile::DeleteKey(RegRoot root, std::string_view path) {
  const Key* key = FindKey(root, path);
  if (!key) return false;
  keys_.erase(keys_.begin() + (key - keys_.data()));
  return true;
}

// As the registry editor does, "[-key]" removes the key and everything below.
void RegistryFile::DeleteKeyTree(RegRoot root, std::string_view path) {
  path = TrimBackslashes(path);
  if (path.empty()) return;  // a root cannot be deleted
  std::erase_if(keys_, [&](const Key& key) { return IsAtOrBelow(key, root, path); });
}

std::string RegistryPath() {
  const char* env = std::getenv("QUORVANE_REGISTRY");
  return (env && *env) ? env : "/etc/quorvane/registry.reg";
}

}  // namespace platform
