#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/file_status.h"

namespace platform {

std::optional<FileStatus> StatusOf(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return std::nullopt;
  FileStatus s;
  s.is_folder = S_ISDIR(st.st_mode);
  s.is_file = S_ISREG(st.st_mode);
  s.is_link = S_ISLNK(st.st_mode);
  s.owner = st.st_uid;
  s.group = st.st_gid;
  s.mode = st.st_mode & 07777;
  return s;
}

std::optional<uint32_t> AccountId(const std::string& name) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return std::nullopt;
  return found->pw_uid;
}

std::string AccountName(uint32_t id) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(id, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return std::to_string(id);
  return found->pw_name;
}

uint32_t CurrentAccount() { return geteuid(); }

}  // namespace platform
