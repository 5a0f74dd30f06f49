// Files and folders: whole-file reads, atomic rewrites, exclusive opens,
// folder listings with wildcards. Every descriptor is close-on-exec.
#ifndef PLATFORM_FILES_H_
#define PLATFORM_FILES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/scoped_fd.h"

namespace platform {

// strerror for `err`, thread-safe.
std::string ErrnoText(int err);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Who owns a file the writer below makes, and its permission bits.
struct FileMode {
  // The bits the file is left with, whatever the umask and whatever lay at
  // the path before (a link, another account's file): the writer owns it.
  int bits = 0600;
  // For a file its administrator owns on purpose (root's configuration that
  // a service's group reads): an existing regular file keeps its owner
  // (where the writer may give it), group and permission bits, and `bits`
  // is for a new one. Anything else at the path (a link, a device, a pipe, a
  // folder) is refused and left as it is.
  bool keep_existing = false;
};

// Writes `contents` to a temporary file in the same folder, flushes and
// fsyncs it, then renames it over `path`, so a reader sees the old file or
// the new one and never a part. On failure `path` is untouched, the
// temporary file is removed and `error` says why. The path is looked at
// with lstat only: nothing is taken from what a link points to, and a link
// at the path is replaced, never followed.
bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string* error,
                         FileMode mode = {});

// Several files replaced together: every new file is written and synced
// before the first rename, so a failure while writing leaves all of them as
// they were (a failing rename, which needs the folder itself to change
// under the writer, can still leave the later ones old).
struct FileContents {
  std::string path;
  std::string contents;
  FileMode mode = {};  // owner-only unless the caller says otherwise
};
bool WriteFilesAtomically(const std::vector<FileContents>& files, std::string* error);

// What lies at `path` itself (lstat: a link is kOther, whatever it points
// to).
enum class PathKind { kMissing, kRegularFile, kOther };
PathKind KindOfPath(const std::string& path);
// Why a file of kind kOther is refused, naming it.
std::string NotRegularFileMessage(const std::string& path);

// Makes the regular file at `path` owner-only (its group and other bits
// cleared) whatever the umask, creating it empty with mode 0600 when it is
// missing and `create` is set: for a file a library opens next by name (a
// database), which would take the umask's mode. Follows no link; a link or
// anything else that is not a regular file is left as it is, and so is a
// file whose bits cannot be changed (the library's open says why, if it
// fails).
void MakeOwnerOnly(const std::string& path, bool create);

bool FileExists(const std::string& path);
// True when `path` names nothing in a folder that exists: a file not made
// yet, unlike one whose folder is missing or cannot be searched.
bool FileIsMissing(const std::string& path);
bool RemoveFile(const std::string& path);
// Creates the folder and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

// Names (not paths) of the entries of `folder` matching the shell wildcard
// `pattern`, in the order the system returns them; regular files only.
std::vector<std::string> ListMatchingFiles(const std::string& folder, const std::string& pattern);

// Like ListMatchingFiles, but every entry that is not a folder, links
// (whatever they point to), pipes and devices included: for a reader that
// must name what it will not open.
std::vector<std::string> ListMatchingEntries(const std::string& folder, const std::string& pattern);

// A file opened for exclusive use: an advisory lock (flock LOCK_EX|LOCK_NB)
// is held for as long as the object lives, and an open that finds the lock
// held fails, like a Windows open without sharing.
class ExclusiveFile {
 public:
  enum class Mode { kRead, kWriteTruncate };
  ExclusiveFile() = default;
  ExclusiveFile(const ExclusiveFile&) = delete;
  ExclusiveFile& operator=(const ExclusiveFile&) = delete;
  ExclusiveFile(ExclusiveFile&& other) noexcept = default;
  ExclusiveFile& operator=(ExclusiveFile&& other) noexcept = default;
  ~ExclusiveFile() = default;

  // False when the file cannot be opened or another opener holds it.
  bool Open(const std::string& path, Mode mode);

  enum class OpenResult { kOpened, kNotRegularFile, kFailed };
  // For reading a file that others put in place: the open follows no link
  // and never waits (a pipe or a device under the name is opened at once,
  // then refused), and only a regular file is kept, locked as Open locks.
  // kNotRegularFile for a link, a pipe, a device or a folder; kFailed when
  // it cannot be opened or another opener holds it.
  OpenResult OpenRegularForReading(const std::string& path);
  bool is_open() const { return fd_.is_valid(); }
  int fd() const { return fd_.get(); }
  // Up to `size` bytes from `offset` (the file position is not used): the
  // count read, 0 at the end of the file, -1 on a failure or when not open.
  int64_t ReadAt(int64_t offset, char* buffer, size_t size);
  // The open file's size in bytes, or -1.
  int64_t Size() const;
  // The bytes the system has allocated to the open file (less than its size
  // for a file with holes), or -1.
  int64_t AllocatedBytes() const;
  void Close();

 private:
  ScopedFd fd_;
};

// The folder part of `path`: "." when it names none, "/" for the root.
std::string FolderOf(const std::string& path);

// The folder that holds the running program (from /proc/self/exe).
std::string ExecutableDirectory();
std::string ExecutablePath();

}  // namespace platform

#endif  // PLATFORM_FILES_H_
