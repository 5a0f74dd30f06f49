#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/posix/eintr.h"
#include "platform/registry.h"

namespace platform {
namespace {

// Writers lock the folder rather than the file, because the rename that
// replaces the file also replaces its inode.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0 && HANDLE_EINTR(flock(fd_, LOCK_EX)) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace

RegistryFile LoadRegistry(const std::string& path) {
  RegistryFile file;
  if (auto contents = ReadWholeFile(path)) file.Parse(*contents);
  return file;
}

bool EditRegistry(const std::string& path, const std::function<bool(RegistryFile&)>& edit,
                  std::string* error) {
  std::string folder = FolderOf(path);
  if (!MakeDirectories(folder)) {
    if (error) *error = "cannot create the folder " + folder + ": " + ErrnoText(errno);
    return false;
  }
  FolderLock lock(folder);
  if (!lock.held()) {
    if (error) *error = "cannot lock the folder " + folder + ": " + ErrnoText(errno);
    return false;
  }
  // A file that exists but cannot be read must not be replaced by the edit
  // applied to an empty registry: every other value would be lost.
  std::string contents;
  if (!ReadFileOrMissing(path, &contents, error)) return false;
  RegistryFile file;
  file.Parse(contents);
  if (!edit(file)) return true;  // nothing to write
  return WriteFileAtomically(path, file.Serialize(), error);
}

}  // namespace platform
