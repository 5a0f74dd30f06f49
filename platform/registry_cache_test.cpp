#include "platform/registry_cache.h"

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/test_support.h"

namespace platform {
namespace {

constexpr RegRoot kHklm = RegRoot::kLocalMachine;

class RegistryCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    path_ = folder_.path() + "registry.reg";
  }

  void Write(const std::string& value) {
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path_, Text(value), &error)) << error;
  }
  static std::string Text(const std::string& value) {
    return "REGEDIT4\n[HKLM\\K]\n\"v\"=\"" + value + "\"\n";
  }
  std::string Value() {
    auto value = ReadRegistry(path_).file->Query(kHklm, "K", "v");
    return value ? value->Text() : "(missing)";
  }

  TempFolder folder_;
  std::string path_;
};

TEST_F(RegistryCacheTest, ParsesOnceAndSeesEveryChange) {
  EXPECT_EQ(Value(), "(missing)");
  Write("one");
  EXPECT_EQ(Value(), "one");
  // Another process rewrites the file in place, same size, at once.
  std::string command = "printf '" + Text("two") + "' > '" + path_ + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(Value(), "two");

  auto first = ReadRegistry(path_).file;
  EXPECT_EQ(ReadRegistry(path_).file, first);  // kept, not parsed again
  Write("six");                                // a new inode
  EXPECT_EQ(Value(), "six");
  EXPECT_NE(ReadRegistry(path_).file, first);
  RemoveFile(path_);
  EXPECT_EQ(Value(), "(missing)");
}

TEST_F(RegistryCacheTest, SaysWhyAFileCannotBeReadWhole) {
  EXPECT_EQ(ReadRegistry(path_).problem, "");  // missing is no problem
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path_, "REGEDIT4\n[HKLM\\K]\n\"v\"=\"ok\"\nbroken\n", &error));
  RegistrySnapshot damaged = ReadRegistry(path_);
  EXPECT_EQ(damaged.problem, "line 4 cannot be read: broken");
  EXPECT_EQ(damaged.file->Query(kHklm, "K", "v"), RegValue::String("ok"));  // the rest is read

  ASSERT_TRUE(
      WriteFileAtomically(path_, Text("x") + std::string(kMaxRegistryFileSize, ';'), &error));
  EXPECT_EQ(ReadRegistry(path_).problem, "it is larger than 16 MiB");
  EXPECT_TRUE(ReadRegistry(path_).file->keys().empty());
  EXPECT_FALSE(EditRegistry(
      path_, [](RegistryFile&) { return true; }, &error));
  EXPECT_EQ(error, "cannot read " + path_ + ": it is larger than 16 MiB");
  EXPECT_EQ(std::filesystem::file_size(path_), Text("x").size() + kMaxRegistryFileSize);
}

TEST_F(RegistryCacheTest, ThreadsReadWhileTheFileChanges) {
  Write("a");
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      while (!done) {
        std::string value = Value();
        if (value != "a" && value != "b") ++wrong;
      }
    });
  }
  for (int i = 0; i < 60; ++i) Write(i % 2 ? "a" : "b");
  done = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(Value(), "a");
}

}  // namespace
}  // namespace platform
