#include "common/contact_values.h"

bool BreaksContactList(const std::string& value) {
  for (unsigned char c : value) {
    if (c == ',' || c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

std::string ContactValueProblem(const std::string& value) {
  if (value.empty()) return "is empty";
  if (value.size() > kMaxContactValueLength) return "is too long";
  if (value.find(',') != std::string::npos) return "holds a comma";
  if (BreaksContactList(value)) return "holds a control character";
  return "";
}
