#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/test_support.h"

namespace platform {
namespace {

using Args = std::vector<std::string>;

int OpenDescriptorCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* e = readdir(dir)) count += e->d_name[0] != '.';
  closedir(dir);
  return count;
}

bool HasZombieChild() {
  int status;
  return waitpid(-1, &status, WNOHANG) > 0;
}

class ProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    // Without the trailing "/", as a PATH entry is usually written.
    dir_ = folder_.path().substr(0, folder_.path().size() - 1);
    saved_path_ = getenv("PATH");
  }
  void TearDown() override { setenv("PATH", saved_path_.c_str(), 1); }
  std::string Script(const std::string& name, const std::string& body) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
    return path;
  }
  TempFolder folder_;
  std::string dir_;
  std::string saved_path_;
};

TEST_F(ProcessTest, FindProgramSearchesPathAndDropsExe) {
  std::string tool = Script("tool", "exit 0");
  setenv("PATH", ("/nonexistent:" + dir_).c_str(), 1);
  EXPECT_EQ(FindProgram("tool"), tool);
  EXPECT_EQ(FindProgram("tool.EXE"), tool);
  EXPECT_EQ(FindProgram(dir_ + "/tool.exe"), tool);
  EXPECT_EQ(FindProgram("missing-tool"), std::nullopt);
  std::ofstream(dir_ + "/plain") << "not executable";
  EXPECT_EQ(FindProgram("plain"), std::nullopt);
}

TEST_F(ProcessTest, RunCapturedOutputLimits) {
  std::string out;
  int status = -1;
  ASSERT_EQ(RunCaptured({"true"}, 100, &out, &status), SpawnStatus::kOk);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(EndedWithSuccess(status));

  ASSERT_EQ(RunCaptured({"printf", "a\\r\\nb\\000c"}, 100, &out), SpawnStatus::kOk);
  EXPECT_EQ(out, std::string("a\r\nb\0c", 6));

  ASSERT_EQ(RunCaptured({"head", "-c", "599999", "/dev/zero"}, 599999, &out), SpawnStatus::kOk);
  EXPECT_EQ(out.size(), 599999u);

  // Far more than a pipe holds: cut at the limit, and the child is not left
  // hanging on a full pipe (it gets a broken pipe).
  ASSERT_EQ(RunCaptured({"head", "-c", "5000000", "/dev/zero"}, 1000, &out, &status),
            SpawnStatus::kOk);
  EXPECT_EQ(out.size(), 1000u);
  ASSERT_EQ(RunCaptured({"yes"}, 10, &out, &status), SpawnStatus::kOk);
  EXPECT_EQ(out, "y\ny\ny\ny\ny\n");
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE);
  EXPECT_EQ(DescribeWaitStatus(status), "signal " + std::to_string(SIGPIPE));
}

TEST_F(ProcessTest, ChildGetsEmptyInputAndArgumentsAsSplit) {
  std::string out;
  ASSERT_EQ(RunCaptured({"cat"}, 100, &out), SpawnStatus::kOk);
  EXPECT_EQ(out, "");
  std::string echo = Script("args", "for a in \"$@\"; do printf '[%s]' \"$a\"; done");
  ASSERT_EQ(RunCaptured({echo, "a b", "", "\"q\\"}, 100, &out), SpawnStatus::kOk);
  EXPECT_EQ(out, "[a b][][\"q\\]");
}

// Descriptors of this process that a child may legitimately inherit (the
// test runner may pass some on without close-on-exec).
std::set<std::string> InheritableDescriptors() {
  std::set<std::string> out;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* e = readdir(dir)) {
    int fd = atoi(e->d_name);
    if (e->d_name[0] != '.' && fd != dirfd(dir) && !(fcntl(fd, F_GETFD) & FD_CLOEXEC)) {
      out.insert(e->d_name);
    }
  }
  closedir(dir);
  return out;
}

TEST_F(ProcessTest, ChildInheritsOnlyStandardDescriptors) {
  int held[2];
  ASSERT_EQ(pipe2(held, O_CLOEXEC), 0);
  int before = OpenDescriptorCount();
  std::set<std::string> allowed = InheritableDescriptors();
  allowed.insert({"0", "1"});
  // The child names every pipe it holds; any beyond its standard input and
  // output (and what this process passes on anyway) is a leak.
  std::string out;
  ASSERT_EQ(RunCaptured({"python3", "-c",
                         "import os\n"
                         "for f in os.listdir('/proc/self/fd'):\n"
                         "  try:\n"
                         "    if os.readlink('/proc/self/fd/'+f).startswith('pipe:'): print(f)\n"
                         "  except OSError: pass\n"},
                        1000, &out),
            SpawnStatus::kOk);
  std::set<std::string> pipes;
  for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    pipes.insert(out.substr(start, end - start));
  }
  EXPECT_TRUE(pipes.count("0") && pipes.count("1")) << out;
  for (const std::string& fd : pipes) EXPECT_TRUE(allowed.count(fd)) << "leaked " << fd;

  EXPECT_EQ(RunCaptured({"no-such-program-xyz"}, 100, &out), SpawnStatus::kStartFailed);
  EXPECT_EQ(RunCaptured({}, 100, &out), SpawnStatus::kStartFailed);
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_FALSE(HasZombieChild());
  close(held[0]);
  close(held[1]);
}

TEST_F(ProcessTest, RunToFileWritesStandardOutput) {
  std::string target = dir_ + "/dbdata";
  std::ofstream(target) << "old contents that are longer";
  int status = -1;
  std::string error;
  int before = OpenDescriptorCount();
  ASSERT_EQ(RunToFile({"printf", "report\\r\\n"}, target, &status, &error), SpawnStatus::kOk)
      << error;
  EXPECT_EQ(ReadWholeFile(target), "report\r\n");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(RunToFile({"cat"}, target, &status, &error), SpawnStatus::kOk);  // empty input
  EXPECT_EQ(ReadWholeFile(target), "");
  ASSERT_EQ(RunToFile({"false"}, target, &status, &error), SpawnStatus::kOk);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_FALSE(EndedWithSuccess(status));
  EXPECT_EQ(DescribeWaitStatus(status), "exit code 1");

  EXPECT_EQ(RunToFile({"no-such-program-xyz"}, target, &status, &error), SpawnStatus::kStartFailed);
  EXPECT_NE(error.find("no-such-program-xyz"), std::string::npos);
  EXPECT_EQ(RunToFile({"true"}, dir_ + "/missing/dbdata", &status, &error),
            SpawnStatus::kStartFailed);
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_FALSE(HasZombieChild());
}

TEST_F(ProcessTest, RunAndWaitGivesTheExitStatus) {
  int before = OpenDescriptorCount();
  std::string mark = dir_ + "/ran";
  int status = -1;
  ASSERT_TRUE(RunAndWait({Script("mark", "touch \"$1\"; exit 3"), mark}, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
  EXPECT_TRUE(FileExists(mark));
  EXPECT_FALSE(RunAndWait({"no-such-program-xyz"}));
  EXPECT_FALSE(RunAndWait({}));
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_FALSE(HasZombieChild());
}

// A stop ends a running program: politely first, by force after the grace
// when it does not listen; a program not yet started is never started.
TEST_F(ProcessTest, StopEndsTheProgramAndStartsNoNewOne) {
  int before = OpenDescriptorCount();
  std::string mark = dir_ + "/started";
  std::string out;
  int status = -1;
  auto stop_after = [](int checks) { return [checks]() mutable { return --checks < 0; }; };
  ASSERT_EQ(RunCaptured({Script("polite", "echo begun; exec sleep 600")}, 100, &out, &status,
                        stop_after(5)),
            SpawnStatus::kStopped);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  std::string deaf = Script("deaf", "trap '' TERM; touch \"$1\"; while :; do sleep 0.1; done");
  std::string error;
  ASSERT_EQ(RunToFile({deaf, mark}, dir_ + "/out", &status, &error, stop_after(10)),
            SpawnStatus::kStopped);
  EXPECT_TRUE(FileExists(mark));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  RemoveFile(mark);
  EXPECT_EQ(RunCaptured({deaf, mark}, 100, &out, &status, [] { return true; }),
            SpawnStatus::kStopped);
  EXPECT_EQ(RunToFile({deaf, mark}, dir_ + "/out", &status, &error, [] { return true; }),
            SpawnStatus::kStopped);
  EXPECT_FALSE(FileExists(mark));
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_FALSE(HasZombieChild());
}

}  // namespace
}  // namespace platform
