#include "server/db/activity_location.h"

#include <regex>

#include "common/reg_value.h"
#include "common/settings.h"
#include "server/db/activity_database.h"

namespace {

// Blank values mean the file, as a missing one does.
bool IsBlank(const std::string& value) {
  return value.find_first_not_of(" \t") == std::string::npos;
}

}  // namespace

std::string ActivityLocation::Describe() const {
  if (!is_postgres()) return file;
  // A password may be written in the string itself: never show it.
  static const std::regex keyword(R"(password\s*=\s*('([^'\\]|\\.)*'|\S*))", std::regex::icase);
  static const std::regex uri(R"(^(postgres(ql)?://[^:/@]*):[^@/]*@)", std::regex::icase);
  std::string shown = std::regex_replace(connection, keyword, "password=...");
  return "PostgreSQL " + std::regex_replace(shown, uri, "$1:...@");
}

ActivityLocation ActivityLocationOf(const std::string& install_path, const std::string& value) {
  if (IsBlank(value)) return {install_path + ActivityDatabase::kFileName, ""};
  return {"", value};
}

ActivityLocation ConfiguredActivityLocation(const std::string& install_path) {
  return ActivityLocationOf(install_path, CRegTextValue(setting::kActivityDatabase).Read());
}
