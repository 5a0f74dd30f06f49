#include "common/reg_value.h"

#include <string>

#include <gtest/gtest.h>

#include "common/email_scramble.h"
#include "common/install_path.h"
#include "platform/test_support.h"

namespace {

class RegValueTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(registry_.path().empty()); }

  // Writes the lines below a "Windows Registry Editor" header.
  void WriteRegistry(const std::string& body) {
    std::string error;
    ASSERT_TRUE(registry_.Write(body, &error)) << error;
  }

  ScopedRegistryFile registry_;
};

TEST_F(RegValueTest, NumbersTakeWhateverFitsInFourBytes) {
  WriteRegistry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n"
      "\"DBServerPort\"=dword:00002183\n"
      "\"Five\"=\"5\"\n"
      "\"Text4\"=\"abc\"\n"
      "\"Long\"=\"12345\"\n"
      "\"Three\"=hex:01,02,03\n"
      "\"Eight\"=hex(b):01,00,00,00,00,00,00,00\n"
      "\"None\"=hex:\n");
  EXPECT_EQ(CRegNumberValue("Software\\Quorvane\\DBServerPort").Value(), 8579u);
  EXPECT_EQ(CRegNumberValue("SOFTWARE\\Quorvane\\Five").Value(), 53u);
  EXPECT_EQ(CRegNumberValue("SOFTWARE\\Quorvane\\Text4").Value(), 0x00636261u);
  EXPECT_EQ(CRegNumberValue("SOFTWARE\\Quorvane\\Three").Value(), 0x030201u);
  EXPECT_EQ(CRegNumberValue("SOFTWARE\\Quorvane\\None").Value(), 0u);

  // Too long for a number: missing, so the default, and never marked read.
  CRegNumberValue too_long("SOFTWARE\\Quorvane\\Long", 77);
  EXPECT_EQ(too_long.Value(), 77u);
  EXPECT_FALSE(too_long.read());
  EXPECT_EQ(CRegNumberValue("SOFTWARE\\Quorvane\\Eight").Value(), 0u);
}

TEST_F(RegValueTest, TextsStopAtTheFirstZeroByteWhateverTheType) {
  WriteRegistry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n"
      "\"apppath\"=\"/srv/quorvane/\"\n"
      "\"AsNumber\"=dword:00003541\n"
      "\"FullNumber\"=dword:41424344\n"
      "\"Multi\"=hex(7):61,00,62,00,00\n"
      "\"Empty\"=\"\"\n");
  EXPECT_EQ(CRegTextValue("\\SOFTWARE\\Quorvane\\apppath").Value(), "/srv/quorvane/");
  EXPECT_EQ(CRegTextValue("SOFTWARE\\Quorvane\\AsNumber").Value(), "A5");
  EXPECT_EQ(CRegTextValue("SOFTWARE\\Quorvane\\FullNumber").Value(), "DCBA");
  EXPECT_EQ(CRegTextValue("SOFTWARE\\Quorvane\\Multi").Value(), "a");
  CRegTextValue empty("SOFTWARE\\Quorvane\\Empty", "fallback");
  EXPECT_EQ(empty.Value(), "");
  EXPECT_TRUE(empty.read());
}

TEST_F(RegValueTest, TheSpellingsOfTheKeyNameTheSameValue) {
  WriteRegistry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"apppath\"=\"/one/\"\n"
      "\"apppPath\"=\"/two/\"\n");
  for (const char* name : {"\\SOFTWARE\\Quorvane\\apppath", "Software\\Quorvane\\apppath",
                           "\\\\software\\quorvane\\APPPATH"}) {
    SCOPED_TRACE(name);
    CRegTextValue reader(name);
    EXPECT_EQ(reader.key_path().size(), std::string("SOFTWARE\\Quorvane").size());
    EXPECT_EQ(reader.Value(), "/one/");
  }
  EXPECT_EQ(CRegTextValue("Software\\Quorvane\\apppPath").Value(), "/two/");
}

TEST_F(RegValueTest, MissingFileKeyOrValueGivesTheDefaults) {
  EXPECT_EQ(CRegNumberValue("SOFTWARE\\Quorvane\\DBServerPort").Value(), 0u);
  EXPECT_EQ(CRegTextValue("SOFTWARE\\Quorvane\\apppath").Value(), "");

  WriteRegistry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"DBServerPort\"=dword:00000001\n"
      "[HKEY_CLASSES_ROOT\\SOFTWARE\\Quorvane]\n\"DBServerPort\"=dword:00000002\n");
  CRegNumberValue port("SOFTWARE\\Quorvane\\DBServerPort");
  EXPECT_EQ(port.Value(), 0u);
  EXPECT_FALSE(port.read());
  EXPECT_EQ(CRegTextValue("SOFTWARE\\Quorvane\\ReportTime").Value(), "");
  EXPECT_EQ(
      CRegNumberValue("SOFTWARE\\Quorvane\\DBServerPort", 0, false, platform::RegRoot::kClassesRoot)
          .Value(),
      2u);
}

TEST_F(RegValueTest, NameWithoutBackslashIsAValueDirectlyUnderTheRoot) {
  WriteRegistry(
      "[HKEY_LOCAL_MACHINE]\n\"Top\"=dword:00000009\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Nested\"=dword:00000001\n");
  CRegNumberValue top("Top");
  EXPECT_EQ(top.key_path(), "");
  EXPECT_EQ(top.value_name(), "Top");
  EXPECT_EQ(top.Value(), 9u);
  EXPECT_EQ(CRegNumberValue("\\Top").Value(), 9u);
  EXPECT_EQ(CRegNumberValue("Nested").Value(), 0u);

  CRegTextValue split("\\\\SOFTWARE\\Quorvane\\\\\\ReportTime");
  EXPECT_EQ(split.key_path(), "SOFTWARE\\Quorvane");
  EXPECT_EQ(split.value_name(), "ReportTime");
}

TEST_F(RegValueTest, ForcedReadersReadAgainAndOthersKeepTheirValue) {
  WriteRegistry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"N\"=dword:12345678\n"
      "\"T\"=\"before\"\n");
  CRegNumberValue kept("SOFTWARE\\Quorvane\\N");
  CRegNumberValue forced("SOFTWARE\\Quorvane\\N", 0, true);
  CRegTextValue kept_text("SOFTWARE\\Quorvane\\T");
  CRegTextValue forced_text("SOFTWARE\\Quorvane\\T", "", true);
  CRegTextValue missing("SOFTWARE\\Quorvane\\Later", "none");
  EXPECT_EQ(missing.Value(), "none");

  WriteRegistry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"N\"=\"5\"\n\"T\"=\"after\"\n"
      "\"Later\"=\"now\"\n");
  EXPECT_EQ(kept.Value(), 0x12345678u);
  // A shorter value read over an earlier one leaves nothing of the old bytes.
  EXPECT_EQ(forced.Value(), 53u);
  EXPECT_EQ(kept_text.Value(), "before");
  EXPECT_EQ(forced_text.Value(), "after");
  // A value that was missing is tried again at each use.
  EXPECT_EQ(missing.Value(), "now");

  WriteRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n");
  EXPECT_EQ(forced.Value(), 0u);  // the default once the value is gone
  EXPECT_EQ(missing.Value(), "now");
}

TEST_F(RegValueTest, InstallFilesHangOffTheInstallPath) {
  EXPECT_EQ(InstallFile("Logs/logip2.log"), "Logs/logip2.log");
  WriteRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"apppath\"=\"/srv/q\"\n");
  EXPECT_EQ(ReadInstallPath(), "/srv/q/");
  EXPECT_EQ(InstallFile("Logs/logip2.log"), "/srv/q/Logs/logip2.log");
  EXPECT_EQ(NormalizeInstallPath("/srv/q/"), "/srv/q/");
}

TEST(EmailScrambleTest, RaisesEveryByteBySevenAndBack) {
  EXPECT_EQ(ScrambleEmail("a@b.c"), "hGi5j");
  const std::string every_byte = [] {
    std::string s;
    for (int b = 0; b < 256; ++b) s.push_back(char(b));
    return s;
  }();
  std::string scrambled = ScrambleEmail(every_byte);
  EXPECT_EQ(uint8_t(scrambled[0xFF]), 0x06);
  EXPECT_EQ(UnscrambleEmail(scrambled), every_byte);
}

}  // namespace
