// Console programs on Linux: posix_spawn with pipes, no shell.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/files.h"
#include "platform/posix/child_process.h"
#include "platform/posix/eintr.h"
#include "platform/posix/scoped_fd.h"
#include "platform/process.h"
#include "platform/strings.h"

extern char** environ;

namespace platform {

namespace {

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
  // dup2 clears close-on-exec on the target; Spawn closes everything above 2.
  void Dup(int fd, int target) { posix_spawn_file_actions_adddup2(&actions_, fd, target); }
  void OpenNull(int target) {
    posix_spawn_file_actions_addopen(&actions_, target, "/dev/null", O_RDONLY, 0);
  }
  // The child's working folder, changed in the child only.
  void ChangeFolder(const std::string& folder) {
    posix_spawn_file_actions_addchdir_np(&actions_, folder.c_str());
  }
  // 0 with `*pid` set, or the error number.
  int Spawn(const std::string& path, const std::vector<std::string>& argv, pid_t* pid) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // After the dup2s: a descriptor that a library opened without
    // close-on-exec (or opened while another thread was spawning) must not
    // reach the tools either.
    posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
    return posix_spawn(pid, path.c_str(), &actions_, &attr_, args.data(), environ);
  }

 private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
};

bool StopNow(const StopCheck& stop) { return stop && stop(); }

// One read from `out` into `output`. `out` is closed at end of file, on an
// error, and once `max_bytes` are held: a child still writing then gets a
// broken pipe instead of blocking.
void ReadSome(ScopedFd& out, size_t max_bytes, std::string* output) {
  char buf[65536];
  size_t room = max_bytes - std::min(max_bytes, output->size());
  ssize_t n = room == 0 ? 0 : HANDLE_EINTR(read(out.get(), buf, std::min(room, sizeof buf)));
  if (n > 0) output->append(buf, size_t(n));
  if (n <= 0 || output->size() >= max_bytes) out.Reset();
}

// A write to a pipe whose reader is gone raises SIGPIPE, which would end a
// process that does not ignore it: held back on this thread meanwhile, and
// taken away when the write raised it.
class SigpipeHeld {
 public:
  SigpipeHeld() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    was_pending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  SigpipeHeld(const SigpipeHeld&) = delete;
  SigpipeHeld& operator=(const SigpipeHeld&) = delete;
  ~SigpipeHeld() {
    if (raised_ && !was_pending_) {
      const timespec none = {0, 0};
      HANDLE_EINTR(sigtimedwait(&pipe_, nullptr, &none));
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  void Raised() { raised_ = true; }

 private:
  sigset_t pipe_, old_;
  bool was_pending_ = false;
  bool raised_ = false;
};

// One write of what is left of `text` into `in`, which is closed once all
// is written or the program reads no more.
void WriteSome(ScopedFd& in, const std::string& text, size_t* written) {
  SigpipeHeld held;
  ssize_t n = HANDLE_EINTR(
      write(in.get(), text.data() + *written, std::min<size_t>(text.size() - *written, 65536)));
  if (n > 0) *written += size_t(n);
  if (n < 0 && errno == EAGAIN) return;
  if (n < 0 && errno == EPIPE) held.Raised();
  if (n <= 0 || *written == text.size()) in.Reset();
}

// What a running program is given and what it gives.
struct ChildPipes {
  ScopedFd out;  // its standard output, when captured
  ScopedFd in;   // its standard input, when it is given some
  const std::string* input = nullptr;
  size_t written = 0;
};

// Waits until `child` has ended and its output (when open) has given end
// of file, feeding it its input and collecting what it gives into
// `output`. False when `stop` said stop first; the child has then been
// terminated.
bool Supervise(ChildProcess& child, ChildPipes& pipes, size_t max_bytes, std::string* output,
               const StopCheck& stop) {
  const int interval_ms = static_cast<int>(kStopCheckInterval.count());
  while (pipes.out.is_valid() || !child.HasEnded()) {
    if (StopNow(stop)) {
      child.Terminate(kStopGrace);
      return false;
    }
    pollfd fds[3];
    nfds_t count = 0;
    int out_at = -1, in_at = -1;
    if (pipes.out.is_valid()) {
      out_at = int(count);
      fds[count++] = {pipes.out.get(), POLLIN, 0};
    }
    if (pipes.in.is_valid()) {
      in_at = int(count);
      fds[count++] = {pipes.in.get(), POLLOUT, 0};
    }
    if (child.end_fd() >= 0) fds[count++] = {child.end_fd(), POLLIN, 0};
    // Without a descriptor to wake it the wait is short, so an end is seen soon.
    int timeout_ms = count > 0 ? interval_ms : kPollWithoutEndFdMs;
    if (poll(fds, count, timeout_ms) <= 0) continue;
    if (out_at >= 0 && fds[out_at].revents != 0) ReadSome(pipes.out, max_bytes, output);
    if (in_at >= 0 && fds[in_at].revents != 0) WriteSome(pipes.in, *pipes.input, &pipes.written);
  }
  return true;
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

ProgramResult Failed(SpawnStatus status, std::string error) {
  ProgramResult result;
  result.status = status;
  result.error = std::move(error);
  return result;
}

// The two ends of the child's standard output: the child's, and the one
// this process reads (a captured output only).
struct ChildOutput {
  ScopedFd child_end;
  ScopedFd our_end;
};

// Opens where the output of `run` goes; false with `result` set when it
// cannot be opened.
bool OpenOutput(const ProgramRun& run, ChildOutput* out, ProgramResult* result) {
  if (run.output == OutputTo::kCapture) {
    Pipe pipe;
    if (!MakePipe(&pipe)) {
      *result = Failed(SpawnStatus::kPipeFailed, "cannot open a pipe: " + ErrnoText(errno));
      return false;
    }
    out->child_end = std::move(pipe.write_end);
    out->our_end = std::move(pipe.read_end);
  } else if (run.output == OutputTo::kFile) {
    out->child_end.Reset(HANDLE_EINTR(
        open(run.output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)));
    if (!out->child_end.is_valid()) {
      *result = Failed(SpawnStatus::kStartFailed,
                       "cannot open " + run.output_path + ": " + ErrnoText(errno));
      return false;
    }
  }
  return true;
}

}  // namespace

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

ProgramResult RunProgram(const ProgramRun& run) {
  ProgramResult result;
  std::string unused;
  std::string* captured = run.captured ? run.captured : &unused;
  captured->clear();
  if (StopNow(run.stop)) return Failed(SpawnStatus::kStopped, "stopped before it started");
  std::optional<std::string> path = ProgramOf(run.argv);
  if (!path) {
    return Failed(SpawnStatus::kStartFailed,
                  "cannot find program " + (run.argv.empty() ? std::string() : run.argv[0]));
  }
  ChildOutput out;
  if (!OpenOutput(run, &out, &result)) return result;
  ChildPipes pipes;
  Pipe input;
  const bool given_input = run.input && run.output != OutputTo::kInherit;
  if (given_input) {
    if (!MakePipe(&input) || fcntl(input.write_end.get(), F_SETFL, O_NONBLOCK) != 0)
      return Failed(SpawnStatus::kPipeFailed, "cannot open a pipe: " + ErrnoText(errno));
    pipes.input = run.input;
  }
  pid_t pid = -1;
  int err;
  {
    SpawnSetup setup;
    if (run.output != OutputTo::kInherit) {
      if (given_input) {
        setup.Dup(input.read_end.get(), STDIN_FILENO);
      } else {
        setup.OpenNull(STDIN_FILENO);
      }
      setup.Dup(out.child_end.get(), STDOUT_FILENO);
    }
    if (!run.folder.empty()) setup.ChangeFolder(run.folder);
    err = setup.Spawn(*path, run.argv, &pid);
  }
  // The child's ends go at once, so end of file arrives when it ends, and
  // a write fails once it can no longer read.
  out.child_end.Reset();
  input.read_end.Reset();
  if (err != 0) {
    return Failed(SpawnStatus::kStartFailed, "cannot start " + *path + ": " + ErrnoText(err));
  }
  ChildProcess child(pid);
  pipes.out = std::move(out.our_end);
  if (given_input) {
    pipes.in = std::move(input.write_end);
    if (run.input->empty()) pipes.in.Reset();
  }
  bool finished = Supervise(child, pipes, run.max_bytes, captured, run.stop);
  result.exit_status = child.status();
  result.status = finished ? SpawnStatus::kOk : SpawnStatus::kStopped;
  if (!finished) result.error = "stopped before it ended";
  return result;
}

bool EndedWithSuccess(int wait_status) {
  return wait_status != -1 && WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0;
}

std::string DescribeWaitStatus(int wait_status) {
  if (wait_status == -1) return "an unknown status";
  if (WIFEXITED(wait_status)) return "exit code " + std::to_string(WEXITSTATUS(wait_status));
  if (WIFSIGNALED(wait_status)) return "signal " + std::to_string(WTERMSIG(wait_status));
  return "status " + std::to_string(wait_status);
}

}  // namespace platform
