#include "notifier/text_file.h"

#include "platform/files.h"

std::string TextFromFileContents(std::string_view bytes) {
  std::string text;
  if (bytes.empty()) return text;
  text.reserve(bytes.size() + 2);
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    if (end == std::string_view::npos) end = bytes.size();
    size_t line_end = end;
    if (line_end > pos && end < bytes.size() && bytes[line_end - 1] == '\r') --line_end;
    text.append(bytes.substr(pos, line_end - pos));
    text.push_back('\n');
    pos = next;
  }
  // The reader's last pass starts at the end of the file and reads an
  // empty line, which the message keeps as a line feed of its own.
  text.push_back('\n');
  return text;
}

std::optional<std::string> ReadTextFile(const std::string& path) {
  std::optional<std::string> bytes = platform::ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  return TextFromFileContents(*bytes);
}
