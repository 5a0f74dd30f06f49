#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/test_support.h"

namespace platform {
namespace {

using Args = std::vector<std::string>;

// RunProgram with the output captured, as the request worker runs the tool.
SpawnStatus Captured(const Args& argv, size_t max_bytes, std::string* out, int* status = nullptr,
                     const StopCheck& stop = {}) {
  ProgramRun run;
  run.argv = argv;
  run.output = OutputTo::kCapture;
  run.captured = out;
  run.max_bytes = max_bytes;
  run.stop = stop;
  ProgramResult result = RunProgram(run);
  if (status) *status = result.exit_status;
  return result.status;
}

// RunProgram with this process's standard descriptors, as systemctl is run.
ProgramResult Inherited(const Args& argv) {
  ProgramRun run;
  run.argv = argv;
  return RunProgram(run);
}

// RunProgram with the output on a file, as the report scheduler runs the tool.
SpawnStatus ToFile(const Args& argv, const std::string& path, int* status, std::string* error,
                   const StopCheck& stop = {}, const std::string& folder = {}) {
  ProgramRun run;
  run.argv = argv;
  run.output = OutputTo::kFile;
  run.output_path = path;
  run.folder = folder;
  run.stop = stop;
  ProgramResult result = RunProgram(run);
  *status = result.exit_status;
  *error = result.error;
  return result.status;
}

int OpenDescriptorCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* e = readdir(dir)) count += e->d_name[0] != '.';
  closedir(dir);
  return count;
}

std::string CurrentFolder() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? buf : "";
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

TEST_F(ProcessTest, CapturedOutputLimits) {
  std::string out;
  int status = -1;
  ASSERT_EQ(Captured({"true"}, 100, &out, &status), SpawnStatus::kOk);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(EndedWithSuccess(status));

  ASSERT_EQ(Captured({"printf", "a\\r\\nb\\000c"}, 100, &out), SpawnStatus::kOk);
  EXPECT_EQ(out, std::string("a\r\nb\0c", 6));

  ASSERT_EQ(Captured({"head", "-c", "599999", "/dev/zero"}, 599999, &out), SpawnStatus::kOk);
  EXPECT_EQ(out.size(), 599999u);

  // Far more than a pipe holds: cut at the limit, and the child is not left
  // hanging on a full pipe (it gets a broken pipe).
  ASSERT_EQ(Captured({"head", "-c", "5000000", "/dev/zero"}, 1000, &out, &status),
            SpawnStatus::kOk);
  EXPECT_EQ(out.size(), 1000u);
  ASSERT_EQ(Captured({"yes"}, 10, &out, &status), SpawnStatus::kOk);
  EXPECT_EQ(out, "y\ny\ny\ny\ny\n");
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE);
  EXPECT_EQ(DescribeWaitStatus(status), "signal " + std::to_string(SIGPIPE));
}

TEST_F(ProcessTest, ChildGetsEmptyInputAndArgumentsAsSplit) {
  std::string out;
  ASSERT_EQ(Captured({"cat"}, 100, &out), SpawnStatus::kOk);
  EXPECT_EQ(out, "");
  std::string echo = Script("args", "for a in \"$@\"; do printf '[%s]' \"$a\"; done");
  ASSERT_EQ(Captured({echo, "a b", "", "\"q\\"}, 100, &out), SpawnStatus::kOk);
  EXPECT_EQ(out, "[a b][][\"q\\]");
}

TEST_F(ProcessTest, ChildReadsTheGivenInputOrLeavesItUnread) {
  // More than a pipe holds, so that writing and reading take turns.
  std::string input;
  for (int i = 0; input.size() < (3u << 20); ++i) input += "line " + std::to_string(i) + "\n";
  for (const Args& argv : {Args{"cat"}, Args{"true"}, Args{"head", "-c", "10"}}) {
    ProgramRun run;
    run.argv = argv;
    run.output = OutputTo::kCapture;
    std::string out;
    run.captured = &out;
    run.max_bytes = 4u << 20;
    run.input = &input;
    ProgramResult result = RunProgram(run);
    ASSERT_EQ(result.status, SpawnStatus::kOk) << argv[0];
    EXPECT_TRUE(EndedWithSuccess(result.exit_status)) << argv[0];
    EXPECT_EQ(out, argv[0] == "cat" ? input : argv[0] == "head" ? input.substr(0, 10) : "");
  }
  // No SIGPIPE is left behind for this process (it would end it now).
  sigset_t pending;
  ASSERT_EQ(sigpending(&pending), 0);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}

TEST_F(ProcessTest, ChildInheritsOnlyStandardDescriptors) {
  // One pipe as the server's own code holds it, one as a library might leave
  // it (no close-on-exec): neither may reach the child.
  int held[2];
  ASSERT_EQ(pipe2(held, O_CLOEXEC), 0);
  int loose[2];
  ASSERT_EQ(pipe(loose), 0);
  int before = OpenDescriptorCount();
  std::string out;
  const char* list_descriptors =
      "import os\n"
      "for f in sorted(os.listdir('/proc/self/fd'), key=int):\n"
      "  try:\n"
      "    if not os.readlink('/proc/self/fd/'+f).startswith('/proc/'): print(f)\n"
      "  except OSError: pass\n";
  ASSERT_EQ(Captured({"python3", "-c", list_descriptors}, 1000, &out), SpawnStatus::kOk);
  EXPECT_EQ(out, "0\n1\n2\n");

  EXPECT_EQ(Captured({"no-such-program-xyz"}, 100, &out), SpawnStatus::kStartFailed);
  EXPECT_EQ(Captured({}, 100, &out), SpawnStatus::kStartFailed);
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_FALSE(HasZombieChild());
  for (int fd : {held[0], held[1], loose[0], loose[1]}) close(fd);
}

TEST_F(ProcessTest, OutputToFileInTheGivenFolder) {
  std::string target = dir_ + "/dbdata";
  std::ofstream(target) << "old contents that are longer";
  int status = -1;
  std::string error;
  int before = OpenDescriptorCount();
  ASSERT_EQ(ToFile({"printf", "report\\r\\n"}, target, &status, &error), SpawnStatus::kOk) << error;
  EXPECT_EQ(ReadWholeFile(target), "report\r\n");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(ToFile({"cat"}, target, &status, &error), SpawnStatus::kOk);  // empty input
  EXPECT_EQ(ReadWholeFile(target), "");
  ASSERT_EQ(ToFile({"false"}, target, &status, &error), SpawnStatus::kOk);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_FALSE(EndedWithSuccess(status));
  EXPECT_EQ(DescribeWaitStatus(status), "exit code 1");

  EXPECT_EQ(ToFile({"no-such-program-xyz"}, target, &status, &error), SpawnStatus::kStartFailed);
  EXPECT_NE(error.find("no-such-program-xyz"), std::string::npos);
  EXPECT_EQ(ToFile({"true"}, dir_ + "/missing/dbdata", &status, &error), SpawnStatus::kStartFailed);
  // The working folder is the child's alone.
  std::string here = CurrentFolder();
  ASSERT_EQ(ToFile({"pwd"}, target, &status, &error, {}, dir_), SpawnStatus::kOk) << error;
  EXPECT_EQ(ReadWholeFile(target), dir_ + "\n");
  EXPECT_EQ(CurrentFolder(), here);
  EXPECT_EQ(ToFile({"pwd"}, target, &status, &error, {}, dir_ + "/missing"),
            SpawnStatus::kStartFailed);
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_FALSE(HasZombieChild());
}

TEST_F(ProcessTest, InheritedOutputGivesTheExitStatus) {
  int before = OpenDescriptorCount();
  std::string mark = dir_ + "/ran";
  ProgramResult result = Inherited({Script("mark", "touch \"$1\"; exit 3"), mark});
  ASSERT_EQ(result.status, SpawnStatus::kOk);
  EXPECT_TRUE(WIFEXITED(result.exit_status) && WEXITSTATUS(result.exit_status) == 3);
  EXPECT_TRUE(FileExists(mark));
  EXPECT_EQ(Inherited({"no-such-program-xyz"}).status, SpawnStatus::kStartFailed);
  EXPECT_EQ(Inherited({}).status, SpawnStatus::kStartFailed);
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
  ASSERT_EQ(
      Captured({Script("polite", "echo begun; exec sleep 600")}, 100, &out, &status, stop_after(5)),
      SpawnStatus::kStopped);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  std::string deaf = Script("deaf", "trap '' TERM; touch \"$1\"; while :; do sleep 0.1; done");
  std::string error;
  ASSERT_EQ(ToFile({deaf, mark}, dir_ + "/out", &status, &error, stop_after(10)),
            SpawnStatus::kStopped);
  EXPECT_TRUE(FileExists(mark));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  RemoveFile(mark);
  EXPECT_EQ(Captured({deaf, mark}, 100, &out, &status, [] { return true; }), SpawnStatus::kStopped);
  EXPECT_EQ(ToFile({deaf, mark}, dir_ + "/out", &status, &error, [] { return true; }),
            SpawnStatus::kStopped);
  EXPECT_FALSE(FileExists(mark));
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_FALSE(HasZombieChild());
}

}  // namespace
}  // namespace platform
