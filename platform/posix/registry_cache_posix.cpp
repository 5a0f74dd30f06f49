#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/files.h"
#include "platform/posix/eintr.h"
#include "platform/posix/scoped_fd.h"
#include "platform/registry_cache.h"

namespace platform {
namespace {

// How long a file must have been left alone before its times alone tell a
// later change: file times come from a clock that advances in steps of some
// milliseconds, and a network file system may stamp them with another
// machine's clock.
constexpr int64_t kQuietNanoseconds = 2'000'000'000;

// How many files the cache keeps; the server reads one.
constexpr size_t kMaxCachedFiles = 8;

int64_t Nanoseconds(const timespec& t) { return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

// What tells one state of a file from the next; all zero for a missing file.
struct Identity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modified = 0;  // nanoseconds since 1970
  int64_t changed = 0;

  bool operator==(const Identity&) const = default;
};

Identity IdentityOf(const struct stat& st) {
  return {true, st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

// The identity of the file at `path` now; a file that cannot be looked at
// counts as missing, which never matches a file that was read.
Identity IdentityNow(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? IdentityOf(st) : Identity{};
}

bool IsQuiet(const Identity& identity) {
  if (!identity.exists) return true;
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  int64_t last = std::max(identity.modified, identity.changed);
  return Nanoseconds(now) - last >= kQuietNanoseconds;
}

// Reads at most kMaxRegistryFileSize + 1 bytes; an errno value or 0.
int ReadUpToLimit(int fd, std::string* contents) {
  char buffer[65536];
  for (;;) {
    ssize_t n = HANDLE_EINTR(read(fd, buffer, sizeof buffer));
    if (n < 0) return errno;
    if (n == 0) return 0;
    contents->append(buffer, size_t(n));
    if (contents->size() > kMaxRegistryFileSize) return 0;
  }
}

// Reads `path` into `contents`; `identity` is that of the file read, taken
// before reading, so that a write during the read shows as a change at the
// next look. A missing file is empty. Returns why the file cannot be read,
// or nothing.
std::string ReadIdentified(const std::string& path, Identity* identity, std::string* contents) {
  *identity = {};
  contents->clear();
  // Non-blocking, so that a named pipe put in the file's place fails
  // instead of hanging every reader.
  ScopedFd fd(HANDLE_EINTR(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)));
  if (!fd.is_valid()) return errno == ENOENT ? "" : ErrnoText(errno);
  std::string problem;
  struct stat st;
  if (fstat(fd.get(), &st) != 0) {
    problem = ErrnoText(errno);
  } else if (S_ISDIR(st.st_mode)) {
    problem = ErrnoText(EISDIR);
  } else if (int err = ReadUpToLimit(fd.get(), contents)) {
    problem = ErrnoText(err);
  } else if (contents->size() > kMaxRegistryFileSize) {
    problem = "it is larger than 16 MiB";
  } else {
    *identity = IdentityOf(st);
  }
  if (!problem.empty()) contents->clear();
  return problem;
}

class RegistryCache {
 public:
  RegistrySnapshot Read(const std::string& path);

 private:
  struct Entry {
    Identity identity;
    bool readable = false;  // the last read took the whole file (or found none)
    bool quiet = false;
    std::string bytes;  // the text parsed, kept until the file is quiet
    RegistrySnapshot snapshot;
  };

  std::mutex mu_;
  std::unordered_map<std::string, Entry> entries_;  // by path; guarded by mu_
};

RegistrySnapshot RegistryCache::Read(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  if (entries_.size() >= kMaxCachedFiles && !entries_.count(path)) entries_.clear();
  Entry& entry = entries_[path];
  bool known = entry.snapshot.file != nullptr;
  if (known && entry.quiet && IdentityNow(path) == entry.identity) return entry.snapshot;

  Identity identity;
  std::string bytes;
  std::string problem = ReadIdentified(path, &identity, &bytes);
  bool readable = problem.empty();
  bool same =
      known && readable && entry.readable && identity == entry.identity && bytes == entry.bytes;
  if (!same) {
    auto file = std::make_shared<RegistryFile>();
    if (problem.empty()) problem = file->Parse(bytes).Describe();
    entry.snapshot = {std::move(file), std::move(problem)};
    entry.identity = identity;
    entry.readable = readable;
  }
  entry.quiet = IsQuiet(identity);
  entry.bytes = entry.quiet ? std::string() : std::move(bytes);
  return entry.snapshot;
}

}  // namespace

RegistrySnapshot ReadRegistry(const std::string& path) {
  // Never destroyed: a worker may still read while the process ends.
  static RegistryCache* cache = new RegistryCache;
  return cache->Read(path);
}

bool ReadRegistryText(const std::string& path, std::string* contents, std::string* error) {
  Identity identity;
  std::string problem = ReadIdentified(path, &identity, contents);
  if (problem.empty()) return true;
  if (error) *error = "cannot read " + path + ": " + problem;
  return false;
}

}  // namespace platform
