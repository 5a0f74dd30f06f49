#include "platform/secret_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/posix/eintr.h"
#include "platform/posix/scoped_fd.h"

namespace platform {
namespace {

constexpr size_t kMaxSecretBytes = 4096;

// nullopt with `error` set unless `path` is an owner-only regular file.
std::optional<std::string> ReadSecret(const std::string& path, std::string* error) {
  ScopedFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.is_valid()) {
    *error = "cannot open " + path + ": " + ErrnoText(errno);
    return std::nullopt;
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = path + " is not a regular file";
    return std::nullopt;
  }
  if ((info.st_mode & 077) != 0) {
    *error = path + " may be read by others than its owner; make it owner-only (chmod 600)";
    return std::nullopt;
  }
  std::string contents(kMaxSecretBytes + 1, '\0');
  size_t got = 0;
  while (got < contents.size()) {
    ssize_t n = HANDLE_EINTR(read(fd.get(), contents.data() + got, contents.size() - got));
    if (n < 0) {
      *error = "cannot read " + path + ": " + ErrnoText(errno);
      return std::nullopt;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  if (got > kMaxSecretBytes) {
    *error = path + " is larger than a secret";
    return std::nullopt;
  }
  contents.resize(got);
  return contents;
}

// Writes `secret` under a temporary name and links it to `path`; false
// with `error` set when that fails for another reason than `path` existing.
bool Publish(const std::string& path, const std::string& secret, bool* exists, std::string* error) {
  const std::string temporary = path + ".new-" + std::to_string(getpid());
  unlink(temporary.c_str());  // left by a crash of the same process id
  ScopedFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.is_valid()) {
    *error = "cannot create " + temporary + ": " + ErrnoText(errno);
    return false;
  }
  bool written = fchmod(fd.get(), 0600) == 0;  // whatever the umask left
  for (size_t done = 0; written && done < secret.size();) {
    ssize_t n = HANDLE_EINTR(write(fd.get(), secret.data() + done, secret.size() - done));
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  written = written && fsync(fd.get()) == 0 && fd.Close();
  const bool linked = written && link(temporary.c_str(), path.c_str()) == 0;
  const int link_error = errno;
  unlink(temporary.c_str());
  *exists = written && !linked && link_error == EEXIST;
  if (!linked && !*exists) *error = "cannot write " + path + ": " + ErrnoText(link_error);
  return linked;
}

}  // namespace

std::optional<std::string> ReadOrMakeSecretFile(const std::string& path,
                                                const std::function<std::string()>& make,
                                                std::string* error) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 && errno == ENOENT) {
    bool exists = false;
    const std::string secret = make();
    if (Publish(path, secret, &exists, error)) return secret;
    if (!exists) return std::nullopt;
    // Another first user made it meanwhile: theirs counts.
  }
  return ReadSecret(path, error);
}

}  // namespace platform
