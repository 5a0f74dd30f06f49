// The rule for the three values of an agent's contact (user, computer,
// address), shared by the database tool, which refuses a contact that
// breaks it, and the server, which hands the tool only contacts it will
// take. The values end up in the comma-separated, line-based list the
// server rebuilds its IP log from. Plain functions; any thread.
#ifndef COMMON_CONTACT_VALUES_H_
#define COMMON_CONTACT_VALUES_H_

#include <cstddef>
#include <string>

// Longest value kept; agents send short names, and the mode-7 list must
// stay well inside what the server reads back.
inline constexpr size_t kMaxContactValueLength = 256;

// Why `value` cannot be part of a contact ("" when it can): empty, too
// long, or holding a comma or a control character.
std::string ContactValueProblem(const std::string& value);

// True when `value` holds a comma or a control character.
bool BreaksContactList(const std::string& value);

#endif  // COMMON_CONTACT_VALUES_H_
