#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/posix/eintr.h"
#include "platform/posix/scoped_fd.h"
#include "platform/registry.h"
#include "platform/registry_cache.h"

namespace platform {
namespace {

// Writers lock the folder rather than the file, because the rename that
// replaces the file also replaces its inode.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_.is_valid() && HANDLE_EINTR(flock(fd_.get(), LOCK_EX)) != 0) fd_.Reset();
  }
  bool held() const { return fd_.is_valid(); }

 private:
  ScopedFd fd_;  // closing it releases the lock
};

// A new file is the package's: root's, read by the service's group (which
// is then set by whoever installs it); an existing one keeps what its
// administrator gave it.
constexpr FileMode kRegistryFileMode{0640, true};

}  // namespace

RegistryFile LoadRegistry(const std::string& path) { return *ReadRegistry(path).file; }

bool EditRegistry(const std::string& path, const std::function<bool(RegistryFile&)>& edit,
                  std::string* error) {
  // The folder is the administrator's to make, with its owner and mode: a
  // mistyped path makes nothing.
  std::string folder = FolderOf(path);
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    if (error) *error = "the folder " + folder + " does not exist";
    return false;
  }
  FolderLock lock(folder);
  if (!lock.held()) {
    if (error) *error = "cannot lock the folder " + folder + ": " + ErrnoText(errno);
    return false;
  }
  // A device, a pipe or a link under the name is not a configuration to
  // replace (nor to read: a pipe would never end).
  if (KindOfPath(path) == PathKind::kOther) {
    if (error) *error = NotRegularFileMessage(path);
    return false;
  }
  // A file that exists but cannot be read whole must not be replaced by the
  // edit applied to what could be read: the rest would be lost.
  std::string contents;
  if (!ReadRegistryText(path, &contents, error)) return false;
  RegistryFile file;
  ParseReport report = file.Parse(contents);
  if (!report.complete()) {
    if (error)
      *error = "the registry file " + path + " is left as it is because " + report.Describe();
    return false;
  }
  if (!edit(file)) return true;  // nothing to write
  return WriteFileAtomically(path, file.Serialize(), error, kRegistryFileMode);
}

}  // namespace platform
