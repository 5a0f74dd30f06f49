// Reading the report file and the mail template as text.
#ifndef NOTIFIER_TEXT_FILE_H_
#define NOTIFIER_TEXT_FILE_H_

#include <optional>
#include <string>
#include <string_view>

// The text of file contents `bytes`: each line (without its line end; "\r\n"
// and "\n" both end a line) followed by "\n", then one more "\n". Empty
// contents give empty text.
std::string TextFromFileContents(std::string_view bytes);

// TextFromFileContents of the file at `path`; nothing when it cannot be read.
std::optional<std::string> ReadTextFile(const std::string& path);

#endif  // NOTIFIER_TEXT_FILE_H_
