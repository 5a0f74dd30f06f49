#include "platform/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include <gtest/gtest.h>

#include "platform/test_support.h"

namespace platform {
namespace {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    // Without the trailing "/": listings are checked with and without it.
    dir_ = folder_.path().substr(0, folder_.path().size() - 1);
  }

  std::string Path(const std::string& name) { return folder_.path() + name; }
  void Write(const std::string& name, const std::string& contents) {
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(Path(name), contents, &error)) << error;
  }

  TempFolder folder_;
  std::string dir_;
};

TEST_F(FilesTest, AtomicWriteReplacesWholeFilesAndReportsFailures) {
  Write("a.txt", "first");
  chmod(Path("a.txt").c_str(), 0640);
  // Rewritten by root, a file kept as its administrator left it keeps the
  // owner and group that read it.
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(Path("a.txt").c_str(), 1, 65534), 0);
  }
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(Path("a.txt"), std::string("second\0binary", 13), &error,
                                  FileMode{0600, true}))
      << error;
  EXPECT_EQ(ReadWholeFile(Path("a.txt")), std::string("second\0binary", 13));
  struct stat st;
  ASSERT_EQ(stat(Path("a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  if (root) {
    EXPECT_EQ(std::pair(st.st_uid, st.st_gid), std::pair(1u, 65534u));
  }

  EXPECT_FALSE(WriteFileAtomically(Path("missing/a.txt"), "x", &error));
  EXPECT_NE(error.find("missing/a.txt"), std::string::npos) << error;
  ASSERT_TRUE(MakeDirectories(Path("folder")));
  EXPECT_FALSE(WriteFileAtomically(Path("folder"), "x", &error));  // rename over a folder
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir_))
    left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a.txt", "folder"}));
}

TEST_F(FilesTest, AtomicWriteTakesNothingFromWhatThePathPointsTo) {
  // Another account's world-writable set-id file, and a link to it at the
  // name the writer writes.
  Write("bait", "bait");
  ASSERT_EQ(chmod(Path("bait").c_str(), 06777), 0);
  ASSERT_EQ(symlink(Path("bait").c_str(), Path("log").c_str()), 0);
  const mode_t old_umask = umask(0);
  std::string error;
  EXPECT_TRUE(WriteFileAtomically(Path("log"), "rows", &error, FileMode{0644})) << error;
  umask(old_umask);
  struct stat st;
  ASSERT_EQ(lstat(Path("log").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_EQ(st.st_uid, geteuid());
  EXPECT_EQ(ReadWholeFile(Path("bait")), "bait");
  ASSERT_EQ(stat(Path("bait").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 06777u);
  // A wider file of the writer's own is narrowed to the fixed bits.
  ASSERT_EQ(chmod(Path("log").c_str(), 0666), 0);
  Write("log", "rows again");
  ASSERT_EQ(stat(Path("log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  // A file kept as its administrator left it is replaced only when it is a
  // regular file: a link or a pipe stays as it was.
  ASSERT_EQ(symlink(Path("bait").c_str(), Path("config").c_str()), 0);
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  for (const char* name : {"config", "pipe"}) {
    EXPECT_FALSE(WriteFileAtomically(Path(name), "x", &error, FileMode{0640, true}));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_EQ(KindOfPath(Path(name)), PathKind::kOther);
  }
  EXPECT_EQ(ReadWholeFile(Path("bait")), "bait");
  EXPECT_TRUE(ListMatchingEntries(dir_, "*.tmp*").empty());
  EXPECT_TRUE(WriteFileAtomically(Path("new.reg"), "x", &error, FileMode{0640, true})) << error;
  ASSERT_EQ(stat(Path("new.reg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(FilesTest, FilesReplacedTogetherChangeNoneWhenOneCannotBeWritten) {
  Write("a.txt", "old a");
  std::string error;
  EXPECT_FALSE(
      WriteFilesAtomically({{Path("a.txt"), "new a"}, {Path("missing/b.txt"), "b"}}, &error));
  EXPECT_EQ(ReadWholeFile(Path("a.txt")), "old a");
  EXPECT_TRUE(ListMatchingFiles(dir_, "a.txt.tmp*").empty());
  ASSERT_TRUE(WriteFilesAtomically({{Path("a.txt"), "new a"}, {Path("b.txt"), "b"}}, &error))
      << error;
  EXPECT_EQ(ReadWholeFile(Path("a.txt")), "new a");
  EXPECT_EQ(ReadWholeFile(Path("b.txt")), "b");
}

TEST_F(FilesTest, MissingFilesAndNestedFolders) {
  EXPECT_FALSE(ReadWholeFile(Path("none")));
  ASSERT_TRUE(MakeDirectories(Path("x/y/z")));
  EXPECT_FALSE(ReadWholeFile(Path("x")));
  Write("x/y/f", "data");
  EXPECT_EQ(ReadWholeFile(Path("x/y/f")), "data");
  EXPECT_TRUE(MakeDirectories(Path("x/y/z/")));
  EXPECT_FALSE(MakeDirectories(Path("x/y/f/sub")));
}

TEST_F(FilesTest, ExclusiveOpenFailsWhileAnotherHoldsTheFile) {
  Write("logip2.log", "kept");
  ExclusiveFile reader;
  ASSERT_TRUE(reader.Open(Path("logip2.log"), ExclusiveFile::Mode::kRead));
  ExclusiveFile writer;
  EXPECT_FALSE(writer.Open(Path("logip2.log"), ExclusiveFile::Mode::kWriteTruncate));
  EXPECT_EQ(ReadWholeFile(Path("logip2.log")), "kept");  // not emptied by the failed open
  ExclusiveFile moved = std::move(reader);
  EXPECT_FALSE(reader.is_open());  // NOLINT(bugprone-use-after-move): checked on purpose
  moved.Close();
  EXPECT_TRUE(writer.Open(Path("logip2.log"), ExclusiveFile::Mode::kWriteTruncate));
  EXPECT_EQ(std::filesystem::file_size(Path("logip2.log")), 0u);
  EXPECT_FALSE(ExclusiveFile().Open(Path("none/x"), ExclusiveFile::Mode::kRead));
}

TEST_F(FilesTest, ListingMatchesWildcardsOnRegularFilesOnly) {
  Write("alice.07_12_2026.log", "");
  Write("bob.07_12_2026.log", "");
  Write("bob.06_12_2026.log", "");
  ASSERT_TRUE(MakeDirectories(Path("dir.07_12_2026.log")));
  auto names = ListMatchingFiles(dir_, "*.07_12_2026.log");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"alice.07_12_2026.log", "bob.07_12_2026.log"}));
  EXPECT_EQ(ListMatchingFiles(dir_ + "/", "bob.06*").size(), 1u);
  EXPECT_TRUE(ListMatchingFiles(Path("none"), "*").empty());
}

}  // namespace
}  // namespace platform
