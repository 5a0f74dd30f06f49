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
#include <utility>

#include "platform/files.h"
#include "platform/posix/eintr.h"
#include "platform/posix/scoped_fd.h"

namespace platform {

std::string ErrnoText(int err) {
  char buf[256];
  // GNU strerror_r returns the text, which may or may not be in buf.
  return std::string(strerror_r(err, buf, sizeof buf));
}

namespace {

// Reads the whole file into `out`; 0 on success, else the errno value.
int ReadAll(const std::string& path, std::string* out) {
  ScopedFd fd(HANDLE_EINTR(open(path.c_str(), O_RDONLY | O_CLOEXEC)));
  if (!fd.is_valid()) return errno;
  char buf[65536];
  for (;;) {
    ssize_t n = HANDLE_EINTR(read(fd.get(), buf, sizeof buf));
    if (n < 0) return errno;
    if (n == 0) return 0;
    out->append(buf, size_t(n));
  }
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::string out;
  if (ReadAll(path, &out) != 0) return std::nullopt;
  return out;
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

namespace {

// Refuses what `mode` may not replace; true when the write may go on.
bool MayReplace(const std::string& path, const FileMode& mode, const struct stat* existing,
                std::string* error) {
  if (!mode.keep_existing || !existing || S_ISREG(existing->st_mode)) return true;
  if (error) *error = NotRegularFileMessage(path);
  return false;
}

// Gives the temporary file `fd` its owner and bits (see FileMode); the
// bits are set after the owner, since a chown may clear some.
bool SetOwnerAndMode(int fd, const FileMode& mode, const struct stat* existing) {
  if (mode.keep_existing && existing && fchown(fd, existing->st_uid, existing->st_gid) != 0) {
    // Not allowed to: the writer's own owner and group stay.
  }
  const mode_t bits = mode.keep_existing && existing ? existing->st_mode & 0777 : mode.bits & 0777;
  return fchmod(fd, bits) == 0;
}

// A new file's contents in a temporary file beside `path`, synced; empty
// (with `error` set) on failure.
std::string WriteTemporary(const std::string& path, const std::string& contents,
                           const FileMode& mode, std::string* error) {
  struct stat st;
  const struct stat* existing = lstat(path.c_str(), &st) == 0 ? &st : nullptr;
  if (!MayReplace(path, mode, existing, error)) return "";
  std::string temp = path + ".tmpXXXXXX";
  ScopedFd fd(mkostemp(temp.data(), O_CLOEXEC));
  if (!fd.is_valid()) {
    if (error) *error = "cannot create a temporary file beside " + path + ": " + ErrnoText(errno);
    return "";
  }
  errno = EIO;  // WriteAll may fail without a system error (a zero-byte write)
  bool ok = SetOwnerAndMode(fd.get(), mode, existing) &&
            WriteAll(fd.get(), contents.data(), contents.size()) && fsync(fd.get()) == 0;
  int saved = errno;
  ok = fd.Close() && ok;
  if (ok) return temp;
  unlink(temp.c_str());
  if (error) *error = "cannot write " + path + ": " + ErrnoText(saved);
  return "";
}

// Makes the renames in the folder of `path` durable.
void SyncFolderOf(const std::string& path) {
  ScopedFd dir(open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.is_valid()) fsync(dir.get());
}

}  // namespace

bool WriteFilesAtomically(const std::vector<FileContents>& files, std::string* error) {
  std::vector<std::string> temps;
  for (const FileContents& file : files) {
    std::string temp = WriteTemporary(file.path, file.contents, file.mode, error);
    if (temp.empty()) {
      for (const std::string& written : temps) unlink(written.c_str());
      return false;
    }
    temps.push_back(std::move(temp));
  }
  bool ok = true;
  for (size_t i = 0; i < files.size(); ++i) {
    if (rename(temps[i].c_str(), files[i].path.c_str()) == 0) continue;
    if (ok && error) *error = "cannot write " + files[i].path + ": " + ErrnoText(errno);
    unlink(temps[i].c_str());
    ok = false;
  }
  for (const FileContents& file : files) SyncFolderOf(file.path);
  return ok;
}

bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string* error,
                         FileMode mode) {
  return WriteFilesAtomically({FileContents{path, contents, mode}}, error);
}

std::string NotRegularFileMessage(const std::string& path) {
  return path + " is not a regular file (a link, a device, a pipe or a folder): left as it is";
}

PathKind KindOfPath(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? PathKind::kMissing : PathKind::kOther;
  return S_ISREG(st.st_mode) ? PathKind::kRegularFile : PathKind::kOther;
}

void MakeOwnerOnly(const std::string& path, bool create) {
  // O_NONBLOCK: a pipe planted at the name is opened without waiting.
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0);
  ScopedFd fd(HANDLE_EINTR(open(path.c_str(), flags, 0600)));
  struct stat st;
  if (!fd.is_valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if ((st.st_mode & 077) != 0) fchmod(fd.get(), st.st_mode & 0700);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool FileIsMissing(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 || errno != ENOENT) return false;
  return stat(FolderOf(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

namespace {

// Names of the entries of `folder` matching `pattern` whose stat (or lstat,
// when `follow` is false) passes `keep`.
std::vector<std::string> ListMatching(const std::string& folder, const std::string& pattern,
                                      bool follow, bool (*keep)(mode_t)) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()), closedir);
  if (!dir) return names;
  while (dirent* entry = readdir(dir.get())) {
    if (fnmatch(pattern.c_str(), entry->d_name, FNM_PERIOD) != 0) continue;
    std::string full =
        (folder.empty() ? "" : folder + (folder.back() == '/' ? "" : "/")) + entry->d_name;
    struct stat st;
    if ((follow ? stat(full.c_str(), &st) : lstat(full.c_str(), &st)) == 0 && keep(st.st_mode))
      names.emplace_back(entry->d_name);
  }
  return names;
}

bool IsRegular(mode_t mode) { return S_ISREG(mode); }
bool IsNotFolder(mode_t mode) { return !S_ISDIR(mode); }

}  // namespace

std::vector<std::string> ListMatchingFiles(const std::string& folder, const std::string& pattern) {
  return ListMatching(folder, pattern, true, IsRegular);
}

std::vector<std::string> ListMatchingEntries(const std::string& folder,
                                             const std::string& pattern) {
  return ListMatching(folder, pattern, false, IsNotFolder);
}

bool ExclusiveFile::Open(const std::string& path, Mode mode) {
  Close();
  // Truncation waits until the lock is ours, so a held file is never emptied.
  int flags = (mode == Mode::kRead ? O_RDONLY : (O_WRONLY | O_CREAT)) | O_CLOEXEC;
  ScopedFd fd(HANDLE_EINTR(open(path.c_str(), flags, 0644)));
  if (!fd.is_valid()) return false;
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 ||
      (mode == Mode::kWriteTruncate && ftruncate(fd.get(), 0) != 0)) {
    return false;
  }
  fd_ = std::move(fd);
  return true;
}

ExclusiveFile::OpenResult ExclusiveFile::OpenRegularForReading(const std::string& path) {
  Close();
  ScopedFd fd(HANDLE_EINTR(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)));
  if (!fd.is_valid()) return errno == ELOOP ? OpenResult::kNotRegularFile : OpenResult::kFailed;
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return OpenResult::kFailed;
  if (!S_ISREG(st.st_mode)) return OpenResult::kNotRegularFile;
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return OpenResult::kFailed;
  fd_ = std::move(fd);
  return OpenResult::kOpened;
}

int64_t ExclusiveFile::ReadAt(int64_t offset, char* buffer, size_t size) {
  if (!fd_.is_valid()) return -1;
  return HANDLE_EINTR(pread(fd_.get(), buffer, size, off_t(offset)));
}

int64_t ExclusiveFile::Size() const {
  struct stat st;
  if (!fd_.is_valid() || fstat(fd_.get(), &st) != 0) return -1;
  return int64_t(st.st_size);
}

int64_t ExclusiveFile::AllocatedBytes() const {
  struct stat st;
  if (!fd_.is_valid() || fstat(fd_.get(), &st) != 0) return -1;
  return int64_t(st.st_blocks) * 512;  // st_blocks counts 512-byte units whatever the block size
}

void ExclusiveFile::Close() { fd_.Reset(); }  // closing releases the lock

std::string ExecutablePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  return std::string(buf, size_t(n));
}

std::string ExecutableDirectory() { return FolderOf(ExecutablePath()); }

}  // namespace platform
