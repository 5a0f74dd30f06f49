// What the self-check needs to know of a path and an account, without
// following a symbolic link. Any thread.
#ifndef PLATFORM_FILE_STATUS_H_
#define PLATFORM_FILE_STATUS_H_

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct FileStatus {
  bool is_folder = false;
  bool is_file = false;
  bool is_link = false;
  uint32_t owner = 0;  // user id
  uint32_t group = 0;
  uint32_t mode = 0;  // permission bits with set-id and sticky (07777)
};

// Nothing when the path does not exist (or cannot be looked at).
std::optional<FileStatus> StatusOf(const std::string& path);

// The user id of the account `name`; nothing when there is none.
std::optional<uint32_t> AccountId(const std::string& name);
// The name of user id `id`, or the number as text.
std::string AccountName(uint32_t id);
// The effective user id of this process.
uint32_t CurrentAccount();

}  // namespace platform

#endif  // PLATFORM_FILE_STATUS_H_
