// The registry, kept in one text file in the Windows Registry Editor format.
//
// RegistryFile is an in-memory copy of such a file: keys under the two roots
// the system uses, each with its values as Windows keeps them (a type and raw
// bytes). Key and value names compare without regard to ASCII case
// (platform::EqualNoCase), and both are found through an index, so parsing a
// file of n lines costs about n log n. Parsing never fails: a line it cannot
// use is skipped, and the report it returns says which, so that a writer can
// refuse to rewrite a file it would damage.
//
// LoadRegistry reads the file (a missing or unreadable file is an empty
// registry); EditRegistry changes it under an exclusive lock and rewrites it
// atomically, keeping every key and value it did not change, and never
// rewrites a file that it cannot read whole.
//
// A RegistryFile is a plain value owned by its user; its const members may be
// called from several threads at once, the others from one thread at a time.
// LoadRegistry and EditRegistry may be called from any thread and any
// process at once: readers see the old file or the new one, never a part,
// and writers take turns under an advisory lock on the file's folder.
#ifndef PLATFORM_REGISTRY_H_
#define PLATFORM_REGISTRY_H_

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

enum class RegRoot { kLocalMachine, kClassesRoot };

// Value types as Windows numbers them.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

struct RegValue {
  uint32_t type = kRegSz;
  std::string data;  // raw bytes; a string value includes its zero byte

  static RegValue String(std::string_view text);  // text plus one zero byte
  static RegValue Dword(uint32_t number);         // 4 bytes little-endian

  // The data read as a little-endian number whatever the type; nothing when
  // it has more than four bytes.
  std::optional<uint32_t> Number() const;
  // The data up to its first zero byte, whatever the type.
  std::string Text() const;

  bool operator==(const RegValue&) const = default;
};

// What a parse skipped: nothing when it read the whole text.
struct ParseReport {
  size_t unread_lines = 0;
  size_t first_unread = 0;  // line number, from 1, of the first line skipped
  std::string first_text;   // that line, shortened, control bytes as '?'

  bool complete() const { return unread_lines == 0; }
  // "line 3 cannot be read: <the line>", with the number of further lines.
  std::string Describe() const;
};

class RegistryFile {
 public:
  struct Value {
    std::string name;  // empty for the key's default value ("@")
    RegValue value;
  };
  struct Key {
    RegRoot root;
    std::string path;  // without leading or trailing backslashes
    std::vector<Value> values;
  };

  // Replaces the contents with what `contents` holds (UTF-8/ANSI, or UTF-16LE
  // with or without a byte-order mark). "[-key]" removes the key and the keys
  // below it, "name"=- removes a value. Lines it cannot use are skipped and
  // reported: malformed lines, sections of other roots and the values under
  // them, values outside a section, and text before the first section other
  // than the "Windows Registry Editor Version 5.00" or "REGEDIT4" header.
  ParseReport Parse(std::string_view contents);
  // The file text, "Windows Registry Editor Version 5.00" format.
  std::string Serialize() const;

  // A key exists when it has a section of its own or any key below it does.
  bool KeyExists(RegRoot root, std::string_view path) const;
  std::optional<RegValue> Query(RegRoot root, std::string_view path, std::string_view name) const;

  void CreateKey(RegRoot root, std::string_view path);
  // Creates the key when it is missing.
  void SetValue(RegRoot root, std::string_view path, std::string_view name, RegValue value);
  // False when the key or the value did not exist.
  bool DeleteValue(RegRoot root, std::string_view path, std::string_view name);
  // Removes the key with its values; keys below it stay. False when missing.
  bool DeleteKey(RegRoot root, std::string_view path);

  const std::vector<Key>& keys() const { return keys_; }

 private:
  // The lookup data of keys_[i] is index_[i]. While a parse runs, removed
  // keys and values stay in place, marked, and Compact drops them at its end,
  // so that a removal costs no more than a lookup.
  struct KeyIndex {
    bool removed = false;
    std::unordered_map<std::string, size_t> values;  // folded name -> position
    std::vector<bool> value_removed;                 // empty until a removal
  };

  std::optional<size_t> FindKey(RegRoot root, std::string_view path) const;
  size_t FindOrCreateKey(RegRoot root, std::string_view path);
  std::optional<size_t> FindValue(size_t key, std::string_view name) const;
  void RemoveKeyAt(size_t key);
  void RemoveValueAt(size_t key, size_t value);
  void DeleteKeyTree(RegRoot root, std::string_view path);
  bool ParseLine(std::string_view line, std::optional<size_t>* section, bool* in_sections);
  void Compact();

  std::vector<Key> keys_;
  std::vector<KeyIndex> index_;
  std::map<std::string, size_t> key_positions_;  // folded root and path -> position
  bool has_removed_ = false;
};

// The registry file's path: $QUORVANE_REGISTRY, else /etc/quorvane/registry.reg.
std::string RegistryPath();

// A copy of the registry file at `path` as ReadRegistry (registry_cache.h)
// last read it; a missing or unreadable file is empty.
RegistryFile LoadRegistry(const std::string& path);

// Loads the file under an exclusive lock, applies `edit` and, when it
// returns true, rewrites the file atomically. A file that exists and cannot
// be read, is larger than kMaxRegistryFileSize or holds a line the parser
// cannot read is left as it is: rewriting it would lose what it could not
// read. On failure returns false and sets `error` to a sentence naming the
// cause (and the line).
bool EditRegistry(const std::string& path, const std::function<bool(RegistryFile&)>& edit,
                  std::string* error);

// Names the root as written in a section header.
std::string_view RootName(RegRoot root);

}  // namespace platform

#endif  // PLATFORM_REGISTRY_H_
