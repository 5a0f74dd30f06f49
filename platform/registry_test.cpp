#include "platform/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/test_support.h"

namespace platform {
namespace {

constexpr RegRoot kHklm = RegRoot::kLocalMachine;
constexpr RegRoot kHkcr = RegRoot::kClassesRoot;

RegistryFile Parsed(std::string_view text) {
  RegistryFile file;
  file.Parse(text);
  return file;
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(char(b));
  return out;
}

// Encodes ASCII or UTF-8 text the way Windows' registry editor saves it:
// UTF-16LE with a byte-order mark and CR LF line ends.
std::string Utf16WithBom(const std::u16string& text) {
  std::string out = "\xFF\xFE";
  for (char16_t unit : text) {
    if (unit == u'\n') {
      out += std::string("\r\0", 2);
    }
    out.push_back(char(unit & 0xFF));
    out.push_back(char(unit >> 8));
  }
  return out;
}

TEST(RegistryParseTest, ReadsBothHeadersAndTheValueKinds) {
  for (const char* header : {"Windows Registry Editor Version 5.00", "REGEDIT4"}) {
    SCOPED_TRACE(header);
    RegistryFile file = Parsed(std::string(header) +
                               "\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\r\n"
                               "\"DBServerPort\"=dword:00002183\r\n"
                               "\"apppath\"=\"/var/lib/quorvane/\"\r\n"
                               "@=\"default text\"\r\n"
                               "\"Blob\"=hex:01,ff,7A\r\n"
                               "\"Empty\"=hex:\r\n"
                               "\r\n[HKCR\\AppID\\{X}]\r\n\"AppID\"=\"{X}\"\r\n");
    EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", "DBServerPort"), RegValue::Dword(8579));
    EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", "apppath")->data,
              std::string("/var/lib/quorvane/\0", 19));
    EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", ""), RegValue::String("default text"));
    EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", "Blob"),
              (RegValue{kRegBinary, Bytes({0x01, 0xff, 0x7a})}));
    EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", "Empty"), (RegValue{kRegBinary, ""}));
    EXPECT_EQ(file.Query(kHkcr, "AppID\\{X}", "AppID"), RegValue::String("{X}"));
    EXPECT_FALSE(file.Query(kHkcr, "SOFTWARE\\Quorvane", "apppath"));
  }
}

TEST(RegistryParseTest, ReadsUtf16WithByteOrderMarkAsTheEditorExportsIt) {
  RegistryFile file =
      Parsed(Utf16WithBom(u"Windows Registry Editor Version 5.00\n\n"
                          u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n"
                          u"\"apppath\"=\"C:\\\\Program Files\\\\Quorvane\\\\\"\n"
                          u"\"Owner\"=\"Ren\u00e9e\"\n"
                          u"\"RegDaily\"=dword:00000001\n"));
  EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", "apppath"),
            RegValue::String("C:\\Program Files\\Quorvane\\"));
  EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", "Owner"), RegValue::String("Ren\xC3\xA9"
                                                                               "e"));
  EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", "RegDaily"), RegValue::Dword(1));

  // Some editors save UTF-16LE without the mark.
  std::string unmarked = Utf16WithBom(u"REGEDIT4\n[HKLM\\K]\n\"Owner\"=\"Ren\u00e9e\"\n").substr(2);
  EXPECT_TRUE(file.Parse(unmarked).complete());
  EXPECT_EQ(file.Query(kHklm, "K", "Owner"), RegValue::String("Ren\xC3\xA9"
                                                              "e"));
}

TEST(RegistryParseTest, EscapesAndHexContinuationLines) {
  RegistryFile file = Parsed(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n"
      "\"quote \\\"and\\\\ slash\"=\"a\\\"b\\\\c\"\n"
      "\"Path\"=hex(2):25,00,41,00,\\\n"
      "  25,00,00,00\n"
      "\"name\\\\\"=hex(7):61,00,\\\n"
      "  62,00,\\\n"
      "  00,00\n"
      "\"After\"=dword:0000000a\n");
  EXPECT_EQ(file.Query(kHklm, "K", "quote \"and\\ slash"), RegValue::String("a\"b\\c"));
  EXPECT_EQ(file.Query(kHklm, "K", "Path"),
            (RegValue{kRegExpandSz, Bytes({0x25, 0, 0x41, 0, 0x25, 0, 0, 0})}));
  EXPECT_EQ(file.Query(kHklm, "K", "name\\"),
            (RegValue{kRegMultiSz, Bytes({0x61, 0, 0x62, 0, 0, 0})}));
  EXPECT_EQ(file.Query(kHklm, "K", "After"), RegValue::Dword(10));
}

TEST(RegistryParseTest, DeletionsRemoveKeysWithTheirSubkeysAndSingleValues) {
  RegistryFile file = Parsed(
      "REGEDIT4\n"
      "[HKLM\\A]\n\"x\"=\"1\"\n\"y\"=\"2\"\n\"z\"=hex(0):2d\n"
      "[HKLM\\A\\Sub]\n\"s\"=\"3\"\n"
      "[HKLM\\AB]\n\"keep\"=\"4\"\n"
      "[HKLM\\B]\n\"b\"=\"5\"\n"
      "[-HKLM\\A]\n"
      "[HKLM\\B]\n\"b\"=-\n");
  EXPECT_FALSE(file.KeyExists(kHklm, "A"));
  EXPECT_FALSE(file.KeyExists(kHklm, "A\\Sub"));
  EXPECT_EQ(file.Query(kHklm, "AB", "keep"), RegValue::String("4"));
  EXPECT_TRUE(file.KeyExists(kHklm, "B"));
  EXPECT_FALSE(file.Query(kHklm, "B", "b"));

  // A value of type 0 holding the byte '-' is data, not a deletion.
  file = Parsed("REGEDIT4\n[HKLM\\A]\n\"z\"=hex(0):2d\n");
  EXPECT_EQ(file.Query(kHklm, "A", "z"), (RegValue{kRegNone, "-"}));
}

TEST(RegistryParseTest, MalformedLinesAreSkippedAndTheRestIsRead) {
  RegistryFile file = Parsed(
      "garbage before any header\n"
      "\"outside\"=\"no section\"\n"
      "[HKEY_CURRENT_USER\\Elsewhere]\n\"lost\"=\"unknown root\"\n"
      "[HKLM\\Open\n\"lost2\"=\"unclosed section\"\n"
      "[HKLM\\K]\n"
      "\"a\"=dword:123456789\n"
      "\"b\"=dword:xyz\n"
      "\"c\"=\"unterminated\n"
      "\"d\"=hex:1,2\n"
      "\"e\"=hex(q):00\n"
      "\"f\" \"g\"\n"
      "\"h\"=\"x\" trailing\n"
      "no quotes=1\n"
      "; a comment\n"
      "\"good\"=\"yes\"\n");
  ASSERT_EQ(file.keys().size(), 1u);
  EXPECT_EQ(file.keys()[0].path, "K");
  ASSERT_EQ(file.keys()[0].values.size(), 1u);
  EXPECT_EQ(file.Query(kHklm, "K", "good"), RegValue::String("yes"));
}

TEST(RegistryParseTest, ReportsEveryLineItSkipped) {
  RegistryFile file;
  ParseReport report = file.Parse(
      "REGEDIT4\n\n; comment\n[HKLM\\K]\n\"a\"=\"1\"\n\"Path\"=hex(2):25,00,\\\n  00,00\n"
      "\"b\"=dword:xyz\x01\n[HKCU\\Other]\n\"c\"=\"2\"\n[-HKLM\\K]\n\"d\"=\"3\"\n"
      "REGEDIT4\n");
  EXPECT_EQ(report.unread_lines, 5u);  // b, the section of another root, c, d, late header
  EXPECT_EQ(report.first_unread, 8u);  // counted in the file's lines, continuations included
  EXPECT_EQ(report.Describe(), "line 8 cannot be read: \"b\"=dword:xyz? (and 4 more)");
  EXPECT_TRUE(file.keys().empty());

  report = file.Parse("garbage " + std::string(100, 'x') + "\r\n[HKLM\\K]\r\n");
  EXPECT_EQ(report.Describe(), "line 1 cannot be read: garbage " + std::string(52, 'x') + "...");
  EXPECT_TRUE(file.KeyExists(kHklm, "K"));
  for (std::string_view whole :
       {"", "\n\n", "Windows Registry Editor Version 5.00\n[HKCR\\A]\n@=-\n"})
    EXPECT_TRUE(file.Parse(whole).complete()) << whole;
}

TEST(RegistryKeyTest, NamesCompareWithoutRegardToCase) {
  RegistryFile file = Parsed(
      "REGEDIT4\n[HKLM\\SOFTWARE\\Quorvane]\n\"apppath\"=\"/a/\"\n"
      "[hklm\\software\\QUORVANE]\n\"APPPATH\"=\"/b/\"\n");
  ASSERT_EQ(file.keys().size(), 1u);
  EXPECT_EQ(file.Query(kHklm, "Software\\Quorvane", "AppPath"), RegValue::String("/b/"));
  EXPECT_FALSE(file.Query(kHklm, "Software\\Quorvane", "apppPath"));
  EXPECT_TRUE(file.KeyExists(kHklm, "software"));
  EXPECT_FALSE(file.KeyExists(kHklm, "soft"));
  EXPECT_TRUE(file.KeyExists(kHklm, ""));
}

TEST(RegistryKeyTest, SetDeleteAndCreateKeepOtherEntries) {
  RegistryFile file;
  file.SetValue(kHkcr, "AppID\\{G}", "", RegValue::String("Orbeline"));
  file.SetValue(kHkcr, "AppID\\Orbeline.EXE", "AppID", RegValue::String("{G}"));
  file.CreateKey(kHkcr, "AppID");
  file.SetValue(kHklm, "SOFTWARE\\Quorvane", "DBServerPort", RegValue::Dword(1));
  file.SetValue(kHklm, "software\\quorvane", "dbserverport", RegValue::Dword(2));
  EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", "DBServerPort"), RegValue::Dword(2));

  EXPECT_TRUE(file.DeleteKey(kHkcr, "AppID\\{g}"));
  EXPECT_FALSE(file.DeleteKey(kHkcr, "AppID\\{g}"));
  EXPECT_TRUE(file.KeyExists(kHkcr, "AppID"));
  EXPECT_TRUE(file.KeyExists(kHkcr, "AppID\\Orbeline.EXE"));
  EXPECT_FALSE(file.DeleteValue(kHklm, "SOFTWARE\\Quorvane", "missing"));
  EXPECT_FALSE(file.DeleteValue(kHklm, "Nowhere", "DBServerPort"));
  EXPECT_TRUE(file.DeleteValue(kHklm, "SOFTWARE\\Quorvane", "DBSERVERPORT"));
  EXPECT_TRUE(file.KeyExists(kHklm, "SOFTWARE\\Quorvane"));
}

TEST(RegistryRoundTripTest, SerializeThenParseKeepsEveryTypeAndByte) {
  RegistryFile file;
  const std::string key = "SOFTWARE\\Quorvane";
  file.SetValue(kHklm, key, "plain", RegValue::String("C:\\dir\\ \"quoted\" ;x"));
  file.SetValue(kHklm, key, "", RegValue::String("default"));
  file.SetValue(kHklm, key, "with zero", RegValue{kRegSz, std::string("a\0b\0", 4)});
  file.SetValue(kHklm, key, "no zero", RegValue{kRegSz, "abc"});
  file.SetValue(kHklm, key, "line\\break", RegValue::String("one\r\ntwo"));
  file.SetValue(kHklm, key, "dword", RegValue::Dword(0xdeadbeef));
  file.SetValue(kHklm, key, "short dword", RegValue{kRegDword, Bytes({1, 2, 3})});
  file.SetValue(kHklm, key, "binary", RegValue{kRegBinary, Bytes({0, 0x80, 0xff})});
  file.SetValue(kHklm, key, "empty binary", RegValue{kRegBinary, ""});
  file.SetValue(kHklm, key, "type 0", RegValue{kRegNone, "-"});
  file.SetValue(kHklm, key, "odd type", RegValue{0xffffffff, Bytes({9})});
  file.SetValue(kHklm, key, "scrambled", RegValue::String("\xC8\x80\x7F\xAE"));
  file.SetValue(kHkcr, "AppID\\{G}", "", RegValue::String("Orbeline"));
  file.CreateKey(kHklm, "Empty\\Key");
  file.CreateKey(kHklm, "");

  RegistryFile again = Parsed(file.Serialize());
  ASSERT_EQ(again.keys().size(), file.keys().size());
  for (size_t k = 0; k < file.keys().size(); ++k) {
    const auto& want = file.keys()[k];
    const auto& got = again.keys()[k];
    EXPECT_EQ(got.root, want.root);
    EXPECT_EQ(got.path, want.path);
    ASSERT_EQ(got.values.size(), want.values.size()) << want.path;
    for (size_t v = 0; v < want.values.size(); ++v) {
      EXPECT_EQ(got.values[v].name, want.values[v].name);
      EXPECT_EQ(got.values[v].value, want.values[v].value) << want.values[v].name;
    }
  }
}

class RegistryFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    path_ = folder_.path() + "etc/registry.reg";
  }

  std::vector<std::string> FolderEntries() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path() + "etc"))
      names.push_back(entry.path().filename());
    return names;
  }

  TempFolder folder_;
  std::string path_;
};

TEST_F(RegistryFileTest, MissingFileIsEmptyAndAnEditCreatesItInAnExistingFolder) {
  EXPECT_TRUE(LoadRegistry(path_).keys().empty());
  std::string error;
  // A missing folder is not made: the path is more likely mistyped.
  EXPECT_FALSE(EditRegistry(
      path_, [](RegistryFile&) { return true; }, &error));
  EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(folder_.path() + "etc"));
  ASSERT_TRUE(MakeDirectories(folder_.path() + "etc"));
  const mode_t old_umask = umask(0);
  ASSERT_TRUE(EditRegistry(
      path_,
      [](RegistryFile& f) {
        f.SetValue(kHklm, "SOFTWARE\\Quorvane", "ReportTime", RegValue::String("9"));
        return true;
      },
      &error))
      << error;
  umask(old_umask);
  EXPECT_EQ(LoadRegistry(path_).Query(kHklm, "SOFTWARE\\Quorvane", "ReportTime"),
            RegValue::String("9"));
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"registry.reg"});
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);  // the package's mode, whatever the umask
}

TEST_F(RegistryFileTest, EditKeepsWhatItDidNotTouchAndLeavesNoTemporaryFile) {
  ASSERT_TRUE(MakeDirectories(folder_.path() + "etc"));
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path_,
                                  Utf16WithBom(u"Windows Registry Editor Version 5.00\n\n"
                                               u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n"
                                               u"\"apppath\"=\"/srv/q/\"\n"
                                               u"\"Blob\"=hex:00,01\n"
                                               u"[HKEY_CLASSES_ROOT\\AppID\\{G}]\n"
                                               u"@=\"Orbeline\"\n"),
                                  &error));
  chmod(path_.c_str(), 0600);
  ASSERT_TRUE(EditRegistry(
      path_,
      [](RegistryFile& f) {
        f.SetValue(kHklm, "Software\\Quorvane", "RegDaily", RegValue::Dword(1));
        return true;
      },
      &error))
      << error;

  RegistryFile file = LoadRegistry(path_);
  EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", "apppath"), RegValue::String("/srv/q/"));
  EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", "Blob"), (RegValue{kRegBinary, Bytes({0, 1})}));
  EXPECT_EQ(file.Query(kHklm, "SOFTWARE\\Quorvane", "RegDaily"), RegValue::Dword(1));
  EXPECT_EQ(file.Query(kHkcr, "AppID\\{G}", ""), RegValue::String("Orbeline"));
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"registry.reg"});
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryFileTest, DeclinedOrFailedEditsLeaveTheFileAlone) {
  ASSERT_TRUE(MakeDirectories(folder_.path() + "etc"));
  const std::string original = "REGEDIT4\n\n[HKLM\\K]\n\"a\"=\"1\"\n";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path_, original, &error));
  EXPECT_TRUE(EditRegistry(
      path_,
      [](RegistryFile& f) {
        f.DeleteKey(kHklm, "K");
        return false;
      },
      &error));
  EXPECT_EQ(ReadWholeFile(path_), original);

  // Something that exists but cannot be read is never replaced.
  const std::string folder_path = folder_.path() + "etc/folder.reg";
  ASSERT_TRUE(MakeDirectories(folder_path));
  error.clear();
  EXPECT_FALSE(EditRegistry(
      folder_path, [](RegistryFile&) { return true; }, &error));
  EXPECT_NE(error.find("folder.reg"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_directory(folder_path));
}

TEST_F(RegistryFileTest, ConcurrentEditsAreNeverLost) {
  constexpr int kThreads = 6, kEdits = 25;
  ASSERT_TRUE(MakeDirectories(folder_.path() + "etc"));
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEdits; ++i) {
        std::string error;
        bool ok = EditRegistry(
            path_,
            [&](RegistryFile& f) {
              f.SetValue(kHklm, "SOFTWARE\\Quorvane", "v" + std::to_string(t * kEdits + i),
                         RegValue::Dword(uint32_t(i)));
              return true;
            },
            &error);
        if (!ok) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  RegistryFile file = LoadRegistry(path_);
  ASSERT_EQ(file.keys().size(), 1u);
  EXPECT_EQ(file.keys()[0].values.size(), size_t(kThreads * kEdits));
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"registry.reg"});
}

}  // namespace
}  // namespace platform
