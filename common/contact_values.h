// The rule for the three values of an agent's contact (user, computer,
// address), shared by the database tool, which refuses a contact that
// breaks it, and the server, which refuses such a report on arrival and
// hands the tool only contacts it will take. The values end up in the
// comma-separated, line-based list the server rebuilds its IP log from,
// which the product's other programs read, each splitting lines its own
// way. Plain functions; any thread.
#ifndef COMMON_CONTACT_VALUES_H_
#define COMMON_CONTACT_VALUES_H_

#include <cstddef>
#include <string>
#include <string_view>

// Longest value kept; agents send short names, and the mode-7 list must
// stay well inside what the server reads back.
inline constexpr size_t kMaxContactValueLength = 256;

// Why `text` cannot stand in a line of a file every reader splits alike
// ("" when it can): it is not valid UTF-8 (a strict reader fails on the
// whole file), or it holds a control character (C0, DEL or C1, NEL U+0085
// among them) or U+2028 / U+2029, which some readers take as line breaks.
std::string_view LineTextProblem(std::string_view text);

// `text` with every byte that is not part of a character LineTextProblem
// allows written as "\xNN", or as `replacement` where one is given (the
// text keeps its length): a hostile name as a log line may show it.
std::string EscapedLineText(std::string_view text, char replacement = '\0');

// Why `value` cannot be part of a contact ("" when it can): empty, too
// long, holding a comma, or failing LineTextProblem.
std::string ContactValueProblem(const std::string& value);

// True when `value` holds a comma or fails LineTextProblem.
bool BreaksContactList(std::string_view value);

#endif  // COMMON_CONTACT_VALUES_H_
