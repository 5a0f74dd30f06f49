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
  // Rewritten by root, a file keeps the owner and group that read it.
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(Path("a.txt").c_str(), 1, 65534), 0);
  }
  Write("a.txt", std::string("second\0binary", 13));
  EXPECT_EQ(ReadWholeFile(Path("a.txt")), std::string("second\0binary", 13));
  struct stat st;
  ASSERT_EQ(stat(Path("a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  if (root) {
    EXPECT_EQ(std::pair(st.st_uid, st.st_gid), std::pair(1u, 65534u));
  }

  std::string error;
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
