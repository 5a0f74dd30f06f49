#include "platform/registry.h"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

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

std::string DecodeUtf16Le(std::string_view raw) {
  std::string out;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
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

// Windows' registry editor exports UTF-16LE with a byte-order mark; some
// editors save it without one. A registry file starts with text (its header
// or a section), never with a zero byte, so a zero second byte after a
// non-zero first one can only be UTF-16LE.
std::string DecodeText(std::string_view raw) {
  if (raw.size() >= 2 && uint8_t(raw[0]) == 0xFF && uint8_t(raw[1]) == 0xFE)
    return DecodeUtf16Le(raw.substr(2));
  if (raw.size() >= 2 && raw[0] != '\0' && raw[1] == '\0') return DecodeUtf16Le(raw);
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

struct LogicalLine {
  size_t number;  // of its first physical line, from 1
  std::string text;
};

// Joins lines that end in a backslash outside a string (hex continuations).
std::vector<LogicalLine> LogicalLines(const std::string& text) {
  std::vector<LogicalLine> lines;
  std::string current;
  size_t start = 0, number = 0, first = 1;
  while (start <= text.size()) {
    ++number;
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view trimmed = TrimBlanks(line);
    if (current.empty()) first = number;
    if (ContinuesOnNextLine(trimmed)) {
      trimmed.remove_suffix(1);
      current.append(current.empty() ? trimmed : TrimBlanks(trimmed));
    } else {
      current.append(current.empty() ? line : TrimBlanks(line));
      lines.push_back({first, std::move(current)});
      current.clear();
    }
    start = end + 1;
  }
  if (!current.empty()) lines.push_back({first, std::move(current)});
  return lines;
}

std::string Fold(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

// The index key of a registry key: its root, then its folded path.
std::string FoldedKey(RegRoot root, std::string_view path) {
  std::string out(1, root == RegRoot::kLocalMachine ? 'M' : 'C');
  out += Fold(TrimBackslashes(path));
  return out;
}

bool IsHeader(std::string_view line) {
  return line == "Windows Registry Editor Version 5.00" || line == "REGEDIT4";
}

// A line as it may be shown in a message: at most 60 bytes, not cut inside
// a UTF-8 sequence, control bytes as '?'.
std::string Shown(std::string_view line) {
  constexpr size_t kMax = 60;
  bool cut = line.size() > kMax;
  if (cut) {
    size_t end = kMax;
    while (end > 0 && (uint8_t(line[end]) & 0xC0) == 0x80) --end;
    line = line.substr(0, end);
  }
  std::string out(line);
  for (char& c : out)
    if (uint8_t(c) < 0x20 || c == 0x7f) c = '?';
  return cut ? out + "..." : out;
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

std::string ParseReport::Describe() const {
  if (complete()) return "";
  std::string out = "line " + std::to_string(first_unread) + " cannot be read: " + first_text;
  if (unread_lines > 1) out += " (and " + std::to_string(unread_lines - 1) + " more)";
  return out;
}

ParseReport RegistryFile::Parse(std::string_view contents) {
  keys_.clear();
  index_.clear();
  key_positions_.clear();
  has_removed_ = false;
  ParseReport report;
  std::optional<size_t> section;  // the key whose values follow
  bool in_sections = false;       // a section line has been seen
  for (const LogicalLine& raw : LogicalLines(DecodeText(contents))) {
    std::string_view line = TrimBlanks(raw.text);
    if (line.empty() || line[0] == ';') continue;
    if (ParseLine(line, &section, &in_sections)) continue;
    if (report.unread_lines++ == 0) {
      report.first_unread = raw.number;
      report.first_text = Shown(line);
    }
  }
  Compact();
  return report;
}

// False when the line cannot be used.
bool RegistryFile::ParseLine(std::string_view line, std::optional<size_t>* section,
                             bool* in_sections) {
  if (line[0] == '[') {
    *in_sections = true;
    *section = std::nullopt;
    if (line.back() != ']') return false;
    std::string_view name = line.substr(1, line.size() - 2);
    bool remove = !name.empty() && name[0] == '-';
    if (remove) name.remove_prefix(1);
    auto key = ParseKeyName(name);
    if (!key) return false;
    if (remove) {
      DeleteKeyTree(key->first, key->second);
    } else {
      *section = FindOrCreateKey(key->first, key->second);
    }
    return true;
  }
  if (!*in_sections && IsHeader(line)) return true;
  if (!*section) return false;  // values outside a section, or text before the first
  std::string name;
  std::string_view rest;
  if (line[0] == '@') {
    rest = line.substr(1);
  } else {
    auto quoted = ParseQuoted(line, &rest);
    if (!quoted) return false;
    name = *quoted;
  }
  rest = TrimBlanks(rest);
  if (rest.empty() || rest[0] != '=') return false;
  std::string_view data = TrimBlanks(rest.substr(1));
  if (data == "-") {
    if (auto value = FindValue(**section, name)) RemoveValueAt(**section, *value);
    return true;
  }
  auto value = ParseData(data);
  if (!value) return false;
  const Key& key = keys_[**section];
  SetValue(key.root, key.path, name, std::move(*value));
  return true;
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

std::optional<size_t> RegistryFile::FindKey(RegRoot root, std::string_view path) const {
  auto it = key_positions_.find(FoldedKey(root, path));
  if (it == key_positions_.end()) return std::nullopt;
  return it->second;
}

std::optional<size_t> RegistryFile::FindValue(size_t key, std::string_view name) const {
  const auto& values = index_[key].values;
  auto it = values.find(Fold(name));
  if (it == values.end()) return std::nullopt;
  return it->second;
}

bool RegistryFile::KeyExists(RegRoot root, std::string_view path) const {
  path = TrimBackslashes(path);
  if (path.empty()) return true;  // the roots always exist
  // The key itself, or the first key below it: keys that share a prefix
  // are neighbours in the index's order.
  std::string folded = FoldedKey(root, path);
  if (key_positions_.count(folded)) return true;
  folded.push_back('\\');
  auto below = key_positions_.lower_bound(folded);
  return below != key_positions_.end() && below->first.starts_with(folded);
}

std::optional<RegValue> RegistryFile::Query(RegRoot root, std::string_view path,
                                            std::string_view name) const {
  auto key = FindKey(root, path);
  if (!key) return std::nullopt;
  auto value = FindValue(*key, name);
  if (!value) return std::nullopt;
  return keys_[*key].values[*value].value;
}

size_t RegistryFile::FindOrCreateKey(RegRoot root, std::string_view path) {
  auto [it, added] = key_positions_.try_emplace(FoldedKey(root, path), keys_.size());
  if (added) {
    keys_.push_back(Key{root, std::string(TrimBackslashes(path)), {}});
    index_.emplace_back();
  }
  return it->second;
}

void RegistryFile::CreateKey(RegRoot root, std::string_view path) { FindOrCreateKey(root, path); }

void RegistryFile::SetValue(RegRoot root, std::string_view path, std::string_view name,
                            RegValue value) {
  size_t key = FindOrCreateKey(root, path);
  std::vector<Value>& values = keys_[key].values;
  auto [it, added] = index_[key].values.try_emplace(Fold(name), values.size());
  if (!added) {
    values[it->second].value = std::move(value);
    return;
  }
  values.push_back(Value{std::string(name), std::move(value)});
  if (!index_[key].value_removed.empty()) index_[key].value_removed.push_back(false);
}

void RegistryFile::RemoveValueAt(size_t key, size_t value) {
  KeyIndex& index = index_[key];
  index.values.erase(Fold(keys_[key].values[value].name));
  index.value_removed.resize(keys_[key].values.size());
  index.value_removed[value] = true;
  has_removed_ = true;
}

void RegistryFile::RemoveKeyAt(size_t key) {
  key_positions_.erase(FoldedKey(keys_[key].root, keys_[key].path));
  index_[key].removed = true;
  has_removed_ = true;
}

bool RegistryFile::DeleteValue(RegRoot root, std::string_view path, std::string_view name) {
  auto key = FindKey(root, path);
  if (!key) return false;
  auto value = FindValue(*key, name);
  if (!value) return false;
  RemoveValueAt(*key, *value);
  Compact();
  return true;
}

bool RegistryFile::DeleteKey(RegRoot root, std::string_view path) {
  auto key = FindKey(root, path);
  if (!key) return false;
  RemoveKeyAt(*key);
  Compact();
  return true;
}

// As the registry editor does, "[-key]" removes the key and everything below.
void RegistryFile::DeleteKeyTree(RegRoot root, std::string_view path) {
  path = TrimBackslashes(path);
  if (path.empty()) return;  // a root cannot be deleted
  if (auto key = FindKey(root, path)) RemoveKeyAt(*key);
  std::string below = FoldedKey(root, path) + '\\';
  for (auto it = key_positions_.lower_bound(below);
       it != key_positions_.end() && it->first.starts_with(below);) {
    index_[it->second].removed = true;
    it = key_positions_.erase(it);
    has_removed_ = true;
  }
}

// Drops what was removed, keeping the order of the rest, and indexes anew.
void RegistryFile::Compact() {
  if (!has_removed_) return;
  std::vector<Key> kept;
  kept.reserve(keys_.size());
  for (size_t k = 0; k < keys_.size(); ++k) {
    if (index_[k].removed) continue;
    const std::vector<bool>& removed = index_[k].value_removed;
    if (!removed.empty()) {
      std::vector<Value> values;
      for (size_t v = 0; v < keys_[k].values.size(); ++v)
        if (!removed[v]) values.push_back(std::move(keys_[k].values[v]));
      keys_[k].values = std::move(values);
    }
    kept.push_back(std::move(keys_[k]));
  }
  keys_ = std::move(kept);
  index_.assign(keys_.size(), KeyIndex{});
  key_positions_.clear();
  for (size_t k = 0; k < keys_.size(); ++k) {
    key_positions_.emplace(FoldedKey(keys_[k].root, keys_[k].path), k);
    for (size_t v = 0; v < keys_[k].values.size(); ++v)
      index_[k].values.emplace(Fold(keys_[k].values[v].name), v);
  }
  has_removed_ = false;
}

std::string RegistryPath() {
  const char* env = std::getenv("QUORVANE_REGISTRY");
  return (env && *env) ? env : "/etc/quorvane/registry.reg";
}

}  // namespace platform
