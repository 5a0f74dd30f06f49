// Console programs on Linux: posix_spawn with pipes, no shell.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/files.h"
#include "platform/posix/eintr.h"
#include "platform/process.h"
#include "platform/strings.h"

extern char** environ;

namespace platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Owns one descriptor; closes it at the end of its life.
class ScopedFd {
 public:
  explicit ScopedFd(int fd = -1) : fd_(fd) {}
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ~ScopedFd() { Reset(); }
  int get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);  // not retried: Linux releases the fd even on EINTR
    fd_ = fd;
  }

 private:
  int fd_;
};

struct Pipe {
  ScopedFd read_end;
  ScopedFd write_end;
};

bool MakePipe(Pipe* p) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  p->read_end.Reset(fds[0]);
  p->write_end.Reset(fds[1]);
  return true;
}

// posix_spawn's attribute and file-action objects, released on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attr_);
    posix_spawn_file_actions_init(&actions_);
    // The child starts as if from a shell: no blocked signals, and every
    // disposition (SIGPIPE above all, which the server ignores) at default.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr_, &none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr_, &all);
    posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  // dup2 clears close-on-exec on the target, so only 0, 1 and 2 survive.
  void Dup(int fd, int target) { posix_spawn_file_actions_adddup2(&actions_, fd, target); }
  void OpenNull(int target) {
    posix_spawn_file_actions_addopen(&actions_, target, "/dev/null", O_RDONLY, 0);
  }
  // 0 with `*pid` set, or the error number.
  int Spawn(const std::string& path, const std::vector<std::string>& argv, pid_t* pid) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return posix_spawn(pid, path.c_str(), &actions_, &attr_, args.data(), environ);
  }

 private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
};

// Waits for `pid` to end; `exit_status` (when not null) gets its wait
// status, or -1 when the wait failed.
void WaitForChild(pid_t pid, int* exit_status) {
  int status = 0;
  if (HANDLE_EINTR(waitpid(pid, &status, 0)) < 0) status = -1;
  if (exit_status) *exit_status = status;
}

// Reads until end of file, an error, or `max_bytes` bytes.
void ReadUpTo(int fd, size_t max_bytes, std::string* output) {
  output->resize(max_bytes);
  size_t filled = 0;
  while (filled < max_bytes) {
    ssize_t n = HANDLE_EINTR(read(fd, output->data() + filled, max_bytes - filled));
    if (n <= 0) break;
    filled += size_t(n);
  }
  output->resize(filled);
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool EndsWithExe(const std::string& name) {
  return name.size() > 4 && EndsWithNoCase(name, ".exe");
}

// `name` in `folder` ("" for as written), then without ".exe".
std::optional<std::string> FindIn(const std::string& folder, const std::string& name) {
  std::string prefix = folder.empty() ? "" : (folder.back() == '/' ? folder : folder + "/");
  if (IsExecutableFile(prefix + name)) return prefix + name;
  if (EndsWithExe(name)) {
    std::string bare = prefix + name.substr(0, name.size() - 4);
    if (IsExecutableFile(bare)) return bare;
  }
  return std::nullopt;
}

// The program that argv[0] names, found with FindProgram.
std::optional<std::string> ProgramOf(const std::vector<std::string>& argv) {
  return argv.empty() ? std::nullopt : FindProgram(argv[0]);
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  size_t i = 0;
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      size_t slashes = 0;
      while (i < line.size() && line[i] == '\\') ++slashes, ++i;
      if (i < line.size() && line[i] == '"') {
        arg.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          arg += '"';
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(slashes, '\\');
        if (i < line.size() && (quoted || !IsBlank(line[i]))) arg += line[i++];
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::string QuoteArgument(std::string_view arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string_view::npos) return std::string(arg);
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  // Backslashes before the closing quote are doubled so it stays a quote.
  out.append(slashes * 2, '\\');
  out += '"';
  return out;
}

std::optional<std::string> FindProgram(const std::string& name) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string::npos) return FindIn("", name);
  if (auto found = FindIn(ExecutableDirectory(), name)) return found;
  const char* path = getenv("PATH");
  std::string_view rest = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    size_t colon = rest.find(':');
    std::string folder(rest.substr(0, colon));
    if (auto found = FindIn(folder.empty() ? "." : folder, name)) return found;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return std::nullopt;
}

SpawnStatus RunCaptured(const std::vector<std::string>& argv, size_t max_bytes, std::string* output,
                        int* exit_status) {
  output->clear();
  Pipe out, in;
  if (!MakePipe(&out) || !MakePipe(&in)) return SpawnStatus::kPipeFailed;
  std::optional<std::string> path = ProgramOf(argv);
  if (!path) return SpawnStatus::kStartFailed;
  pid_t pid = -1;
  int err;
  {
    SpawnSetup setup;
    setup.Dup(in.read_end.get(), STDIN_FILENO);
    setup.Dup(out.write_end.get(), STDOUT_FILENO);
    err = setup.Spawn(*path, argv, &pid);
  }
  // The child's ends go at once, so end of file arrives when it ends, and
  // the child reads end of file from an input that nobody writes.
  in.read_end.Reset();
  out.write_end.Reset();
  in.write_end.Reset();
  if (err != 0) return SpawnStatus::kStartFailed;
  ReadUpTo(out.read_end.get(), max_bytes, output);
  // A child still writing now gets a broken pipe instead of blocking.
  out.read_end.Reset();
  WaitForChild(pid, exit_status);
  return SpawnStatus::kOk;
}

bool RunToFile(const std::vector<std::string>& argv, const std::string& output_path,
               int* exit_status, std::string* error) {
  std::optional<std::string> path = ProgramOf(argv);
  if (!path) {
    if (error) *error = "cannot find program " + (argv.empty() ? std::string() : argv[0]);
    return false;
  }
  ScopedFd file(
      HANDLE_EINTR(open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)));
  if (file.get() < 0) {
    if (error) *error = "cannot open " + output_path + ": " + ErrnoText(errno);
    return false;
  }
  pid_t pid = -1;
  int err;
  {
    SpawnSetup setup;
    setup.OpenNull(STDIN_FILENO);
    setup.Dup(file.get(), STDOUT_FILENO);
    err = setup.Spawn(*path, argv, &pid);
  }
  file.Reset();
  if (err != 0) {
    if (error) *error = "cannot start " + *path + ": " + ErrnoText(err);
    return false;
  }
  WaitForChild(pid, exit_status);
  return true;
}

bool RunAndWait(const std::vector<std::string>& argv, int* exit_status) {
  std::optional<std::string> path = ProgramOf(argv);
  pid_t pid = -1;
  if (!path || SpawnSetup().Spawn(*path, argv, &pid) != 0) return false;
  WaitForChild(pid, exit_status);
  return true;
}

}  // namespace platform
