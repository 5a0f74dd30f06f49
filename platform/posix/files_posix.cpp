#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

#include "platform/files.h"
#include "platform/posix/eintr.h"

namespace platform {

std::string ErrnoText(int err) {
  char buf[256];
  // GNU strerror_r returns the text, which may or may not be in buf.
  return std::string(strerror_r(err, buf, sizeof buf));
}

namespace {

// Reads the whole file into `out`; 0 on success, else the errno value.
int ReadAll(const std::string& path, std::string* out) {
  int fd = HANDLE_EINTR(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd < 0) return errno;
  char buf[65536];
  int result = 0;
  for (;;) {
    ssize_t n = HANDLE_EINTR(read(fd, buf, sizeof buf));
    if (n < 0) result = errno;
    if (n <= 0) break;
    out->append(buf, size_t(n));
  }
  close(fd);
  return result;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::string out;
  if (ReadAll(path, &out) != 0) return std::nullopt;
  return out;
}

bool ReadFileOrMissing(const std::string& path, std::string* contents, std::string* error) {
  contents->clear();
  int err = ReadAll(path, contents);
  if (err == 0) return true;
  contents->clear();
  if (err == ENOENT) return true;
  if (error) *error = "cannot read " + path + ": " + ErrnoText(err);
  return false;
}

static bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = HANDLE_EINTR(write(fd, data, size));
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteFileAtomically(const std::string& path, const std::string& contents,
                         std::string* error) {
  std::string temp = path + ".tmpXXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = "cannot create a temporary file beside " + path + ": " + ErrnoText(errno);
    return false;
  }
  struct stat existing;
  fchmod(fd, stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);
  errno = EIO;  // WriteAll may fail without a system error (a zero-byte write)
  bool ok = WriteAll(fd, contents.data(), contents.size()) && fsync(fd) == 0;
  int saved = errno;
  ok = (close(fd) == 0) && ok;
  if (ok && rename(temp.c_str(), path.c_str()) != 0) {
    saved = errno;
    ok = false;
  }
  if (!ok) {
    unlink(temp.c_str());
    if (error) *error = "cannot write " + path + ": " + ErrnoText(saved);
    return false;
  }
  int dir = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);  // makes the rename itself durable
    close(dir);
  }
  return true;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string part = path.substr(0, pos);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t FileSize(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return -1;
  return int64_t(st.st_size);
}

std::vector<std::string> ListMatchingFiles(const std::string& folder,
                                           const std::string& pattern) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()),
                                          closedir);
  if (!dir) return names;
  while (dirent* entry = readdir(dir.get())) {
    if (fnmatch(pattern.c_str(), entry->d_name, FNM_PERIOD) != 0) continue;
    std::string full = (folder.empty() ? "" : folder + (folder.back() == '/' ? "" : "/")) +
                       entry->d_name;
    struct stat st;
    if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(entry->d_name);
  }
  return names;
}

ExclusiveFile::ExclusiveFile(ExclusiveFile&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

ExclusiveFile& ExclusiveFile::operator=(ExclusiveFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

ExclusiveFile::~ExclusiveFile() { Close(); }

bool ExclusiveFile::Open(const std::string& path, Mode mode) {
  Close();
  // Truncation waits until the lock is ours, so a held file is never emptied.
  int flags = (mode == Mode::kRead ? O_RDONLY : (O_WRONLY | O_CREAT)) | O_CLOEXEC;
  int fd = HANDLE_EINTR(open(path.c_str(), flags, 0644));
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 ||
      (mode == Mode::kWriteTruncate && ftruncate(fd, 0) != 0)) {
    close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void ExclusiveFile::Close() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock
  fd_ = -1;
}

std::string ExecutablePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  return std::string(buf, size_t(n));
}

std::string ExecutableDirectory() { return FolderOf(ExecutablePath()); }

}  // namespace platform
