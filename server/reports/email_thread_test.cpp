#include "server/reports/email_thread.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/email_scramble.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/test_support.h"
#include "server/base/event_log_capture.h"

namespace {

namespace fs = std::filesystem;

constexpr char kAddress[] = "boss@example.com";

// Records each run: its arguments, its folder and what "dbdata" held then.
constexpr char kFakeNotivo[] = R"(#!/usr/bin/env python3
import os, sys
try:
    with open("dbdata", "rb") as f:
        data = f.read().decode("latin-1")
except OSError:
    data = "<missing>"
fields = sys.argv[1:] + ["cwd=" + os.getcwd(), "dbdata=" + data]
with open(os.environ["FAKE_NOTIVO_LOG"], "a") as f:
    f.write("\x1f".join(fields) + "\x1e")
)";

struct ToolRun {
  std::string args;  // blank-separated
  std::string cwd;
};

struct NotivoRun {
  std::vector<std::string> args;
  std::string cwd;
  std::string dbdata;
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

// A temporary install folder and registry file, the stand-in tool and a
// recording Notivo first on PATH, and the event log captured.
class EmailThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    root_ = folder_.path();
    install_ = root_ / "install";
    bin_ = root_ / "bin";
    fs::create_directories(install_);
    fs::create_directories(bin_);
    InstallProgram("ledgerix",
                   *platform::ReadWholeFile(QUORVANE_SOURCE_DIR "/tests/fake_ledgerix.py"));
    InstallProgram("Notivo", kFakeNotivo);
    saved_cwd_ = fs::current_path();
    saved_path_ = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (bin_.string() + ":" + saved_path_).c_str(), 1);
    setenv("FAKE_LEDGERIX_LOG", (root_ / "ledgerix.log").c_str(), 1);
    setenv("FAKE_NOTIVO_LOG", (root_ / "notivo.log").c_str(), 1);
    unsetenv("FAKE_LEDGERIX_REPORT");
    SetText("apppath", install_.string() + "/");
    SetText("EmailAddress", ScrambleEmail(kAddress));
    SetText("ReportTime", "9");
  }

  void TearDown() override {
    fs::current_path(saved_cwd_);
    setenv("PATH", saved_path_.c_str(), 1);
    unsetenv("FAKE_LEDGERIX_LOG");
    unsetenv("FAKE_NOTIVO_LOG");
  }

  void InstallProgram(const std::string& name, const std::string& text) {
    fs::path path = bin_ / name;
    std::ofstream(path) << text;
    fs::permissions(path, fs::perms::owner_all);
  }

  void SetValue(const std::string& name, platform::RegValue value) {
    std::string error;
    ASSERT_TRUE(platform::EditRegistry(
        platform::RegistryPath(),
        [&](platform::RegistryFile& registry) {
          registry.SetValue(platform::RegRoot::kLocalMachine, "SOFTWARE\\Quorvane", name, value);
          return true;
        },
        &error))
        << error;
  }
  void SetText(const std::string& name, const std::string& text) {
    SetValue(name, platform::RegValue::String(text));
  }
  void SetNumber(const std::string& name, uint32_t number) {
    SetValue(name, platform::RegValue::Dword(number));
  }
  void SetAllSwitches(uint32_t number) {
    for (const char* name :
         {"RegDaily", "RegDayFilter", "RegWeekly", "RegWeekFilter", "RegMonthly", "RegMonFilter"}) {
      SetNumber(name, number);
    }
  }

  // Local calendar time as the clock's seconds.
  static int64_t At(int year, int month, int day, int hour, int minute, int second) {
    return platform::LocalTimeOf(year, month, day, hour, minute, second);
  }

  // A pass at `t`, after the importer's look at that date found no night due.
  void PassAt(int64_t t) {
    clock_.Set(t);
    gate_.ImporterLooked(Day(t), false);
    thread_.RunPassForTesting();
  }
  static int64_t Day(int64_t t) {
    std::tm local{};
    EXPECT_TRUE(platform::ToLocalTime(t, &local));
    return platform::DayNumber(local);
  }
  bool SentOn(int64_t t) const { return thread_.sent_day() == Day(t); }

  // The stand-in's JSON lines: {"argv": ["1", "4"], "cwd": "/x", ...}; the
  // arguments and folders of these tests hold no quotes or brackets.
  std::vector<ToolRun> ToolRuns() {
    std::vector<ToolRun> runs;
    for (const std::string& line :
         Split(platform::ReadWholeFile((root_ / "ledgerix.log").string()).value_or(""), '\n')) {
      size_t argv = line.find("\"argv\": [");
      size_t cwd = line.find("\"cwd\": \"");
      if (argv == std::string::npos || cwd == std::string::npos) continue;
      std::string args;
      for (char c : line.substr(argv + 9, line.find(']', argv) - argv - 9)) {
        if (c != '"' && c != ',') args += c;
      }
      size_t cwd_start = cwd + 8;
      runs.push_back({args, line.substr(cwd_start, line.find('"', cwd_start) - cwd_start)});
    }
    return runs;
  }

  std::vector<NotivoRun> NotivoRuns() {
    std::vector<NotivoRun> runs;
    for (const std::string& record :
         Split(platform::ReadWholeFile((root_ / "notivo.log").string()).value_or(""), '\x1e')) {
      std::vector<std::string> fields = Split(record, '\x1f');
      NotivoRun run;
      for (const std::string& field : fields) {
        if (field.rfind("cwd=", 0) == 0) {
          run.cwd = field.substr(4);
        } else if (field.rfind("dbdata=", 0) == 0) {
          run.dbdata = field.substr(7);
        } else {
          run.args.push_back(field);
        }
      }
      runs.push_back(run);
    }
    return runs;
  }

  TempFolder folder_;
  ScopedRegistryFile registry_;
  fs::path root_, install_, bin_, saved_cwd_;
  std::string saved_path_;
  EventLogCapture log_;  // outlives the worker
  platform::FakeClock clock_;
  NightlyImportGate gate_;
  EmailThread thread_{gate_, clock_};
};

TEST_F(EmailThreadTest, ReportHourWaitsForTheNightlyImport) {
  SetNumber("RegDaily", 1);
  SetText("ReportTime", "0");
  gate_.ImporterLooked(Day(At(2026, 5, 7, 0, 0, 1)), true);
  ASSERT_TRUE(gate_.TryBeginImport());
  clock_.Set(At(2026, 5, 7, 0, 0, 2));
  thread_.RunPassForTesting();
  clock_.Set(At(2026, 5, 7, 0, 30, 0));  // however long the import takes
  thread_.RunPassForTesting();
  EXPECT_TRUE(ToolRuns().empty());
  EXPECT_FALSE(SentOn(At(2026, 5, 7, 0, 30, 0)));
  gate_.EndImport();
  PassAt(At(2026, 5, 7, 0, 30, 3));
  EXPECT_EQ(NotivoRuns().size(), 1u);
  EXPECT_TRUE(SentOn(At(2026, 5, 7, 0, 30, 3)));
}

TEST_F(EmailThreadTest, OneBatchPerDateAtTheFirstPassAtOrAfterTheHour) {
  SetNumber("RegDaily", 1);
  PassAt(At(2026, 5, 6, 8, 59, 59));
  EXPECT_TRUE(ToolRuns().empty());

  PassAt(At(2026, 5, 6, 9, 0, 2));
  ASSERT_EQ(ToolRuns().size(), 1u);
  ASSERT_EQ(NotivoRuns().size(), 1u);
  EXPECT_TRUE(SentOn(At(2026, 5, 6, 9, 0, 2)));
  // Both programs run in the install folder; the server's own stays put.
  EXPECT_EQ(ToolRuns()[0].cwd, fs::canonical(install_).string());
  EXPECT_EQ(NotivoRuns()[0].cwd, fs::canonical(install_).string());
  EXPECT_EQ(NotivoRuns()[0].dbdata, "report 1 1 0 0\n");
  EXPECT_EQ(fs::current_path(), saved_cwd_);

  PassAt(At(2026, 5, 6, 9, 0, 5));
  // A clock set back over the hour, and on again: the date's batch went.
  PassAt(At(2026, 5, 6, 8, 59, 50));
  PassAt(At(2026, 5, 6, 9, 0, 1));
  PassAt(At(2026, 5, 6, 23, 59, 59));
  PassAt(At(2026, 5, 7, 8, 59, 58));
  EXPECT_EQ(ToolRuns().size(), 1u);

  // A pass that comes first at 14:00 (the machine slept) sends the batch.
  PassAt(At(2026, 5, 7, 14, 41, 17));
  EXPECT_EQ(ToolRuns().size(), 2u);
  EXPECT_EQ(NotivoRuns().size(), 2u);
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(EmailThreadTest, AReportHourThatDaylightSavingSkipsSendsOnceThatDay) {
  ScopedTimeZone berlin("Europe/Berlin");  // 29 March 2026: 01:59:59, then 03:00
  SetNumber("RegDaily", 1);
  SetText("ReportTime", "2");
  const int64_t last_second = At(2026, 3, 29, 1, 59, 59);
  PassAt(last_second - 2);
  EXPECT_TRUE(ToolRuns().empty());
  PassAt(last_second + 2);
  PassAt(last_second + 5);
  EXPECT_EQ(ToolRuns().size(), 1u);
  EXPECT_TRUE(SentOn(last_second + 2));
}

TEST_F(EmailThreadTest, AStartAfterTheHourWaitsForTheNextDay) {
  SetNumber("RegDaily", 1);
  PassAt(At(2026, 5, 6, 10, 0, 0));
  PassAt(At(2026, 5, 6, 23, 0, 0));
  EXPECT_TRUE(ToolRuns().empty());
  PassAt(At(2026, 5, 7, 9, 0, 1));
  EXPECT_EQ(ToolRuns().size(), 1u);
  // A clock set back by days counts on from its new date.
  PassAt(At(2026, 5, 1, 12, 0, 0));
  PassAt(At(2026, 5, 2, 9, 0, 0));
  EXPECT_EQ(ToolRuns().size(), 2u);
}

TEST_F(EmailThreadTest, HourTextMustMatchExactly) {
  SetNumber("RegDaily", 1);
  for (const char* text : {"09", "", " 9", "9 ", "21", "24", "-1"}) {
    SetText("ReportTime", text);
    PassAt(At(2026, 5, 6, 9, 10, 0));
    EXPECT_EQ(thread_.sent_day(), -1) << '"' << text << '"';
  }
  EXPECT_TRUE(ToolRuns().empty());
  EXPECT_EQ(fs::current_path(), saved_cwd_);

  SetText("ReportTime", "21");
  PassAt(At(2026, 5, 6, 21, 10, 0));
  EXPECT_EQ(ToolRuns().size(), 1u);
}

TEST_F(EmailThreadTest, ChangedReportTimeTakesEffectTheNextDay) {
  SetNumber("RegDaily", 1);
  PassAt(At(2026, 5, 6, 9, 0, 0));
  ASSERT_TRUE(SentOn(At(2026, 5, 6, 9, 0, 0)));
  SetText("ReportTime", "11");
  PassAt(At(2026, 5, 6, 11, 0, 1));
  EXPECT_EQ(ToolRuns().size(), 1u);
  PassAt(At(2026, 5, 7, 9, 30, 0));
  EXPECT_EQ(ToolRuns().size(), 1u);
  PassAt(At(2026, 5, 7, 11, 0, 1));
  EXPECT_EQ(ToolRuns().size(), 2u);
}

TEST_F(EmailThreadTest, OnlySwitchesHoldingOneOnTheirDaysRun) {
  SetNumber("RegDaily", 2);
  SetNumber("RegDayFilter", 0xFFFFFFFF);
  SetNumber("RegWeekly", 1);
  SetNumber("RegWeekFilter", 1);
  PassAt(At(2026, 5, 6, 9, 0, 0));  // a Wednesday
  EXPECT_TRUE(SentOn(At(2026, 5, 6, 9, 0, 0)));
  EXPECT_TRUE(ToolRuns().empty());
  EXPECT_TRUE(NotivoRuns().empty());

  // Friday the 8th: the weekly reports, not the monthly ones.
  SetNumber("RegMonthly", 1);
  PassAt(At(2026, 5, 8, 8, 59, 57));
  PassAt(At(2026, 5, 8, 9, 0, 0));
  std::vector<ToolRun> runs = ToolRuns();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].args, "1 2 2 0");
  EXPECT_EQ(runs[1].args, "4 2");

  // Monday the 1st of June: the monthly report only.
  PassAt(At(2026, 6, 1, 8, 0, 0));
  PassAt(At(2026, 6, 1, 9, 0, 0));
  runs = ToolRuns();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[2].args, "1 7 2 0");
}

TEST_F(EmailThreadTest, AllSwitchesOffStillMarksTheHour) {
  SetAllSwitches(0);
  PassAt(At(2026, 5, 1, 9, 0, 0));
  EXPECT_TRUE(SentOn(At(2026, 5, 1, 9, 0, 0)));
  EXPECT_EQ(fs::current_path(), saved_cwd_);
  EXPECT_TRUE(ToolRuns().empty());
  EXPECT_TRUE(NotivoRuns().empty());
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(EmailThreadTest, AddressIsAlwaysExactlyOneArgument) {
  SetNumber("RegDaily", 1);
  const std::string odd[] = {"John Smith <js@example.com>", "say \"hi\"\\@x", "a\tb"};
  int64_t day = At(2026, 5, 4, 9, 0, 0);
  for (const std::string& address : odd) {
    SetText("EmailAddress", ScrambleEmail(address));
    PassAt(day);
    PassAt(day + 3600);
    day += 24 * 3600;
  }
  std::vector<NotivoRun> runs = NotivoRuns();
  ASSERT_EQ(runs.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(runs[i].args, (std::vector<std::string>{odd[i], "dbdata", "1"}));
  }
}

TEST_F(EmailThreadTest, EmptyAddressSendsNothingAndSaysSo) {
  SetAllSwitches(1);
  SetText("EmailAddress", "");
  PassAt(At(2026, 5, 1, 9, 0, 0));
  EXPECT_TRUE(SentOn(At(2026, 5, 1, 9, 0, 0)));
  EXPECT_TRUE(ToolRuns().empty());
  EXPECT_TRUE(NotivoRuns().empty());
  std::vector<std::string> messages = log_.lines();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("recipient"), std::string::npos) << messages[0];
}

TEST_F(EmailThreadTest, ToolThatCannotStartSkipsNotivo) {
  SetNumber("RegDaily", 1);
  SetNumber("RegDayFilter", 1);
  fs::remove(bin_ / "ledgerix");
  std::ofstream(install_ / "dbdata") << "stale report from yesterday\n";
  PassAt(At(2026, 5, 6, 9, 0, 0));
  EXPECT_TRUE(NotivoRuns().empty());
  std::vector<std::string> messages = log_.lines();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].find("daily activity"), std::string::npos) << messages[0];
  EXPECT_NE(messages[1].find("daily filter"), std::string::npos) << messages[1];
  EXPECT_TRUE(SentOn(At(2026, 5, 6, 9, 0, 0)));
}

TEST_F(EmailThreadTest, MissingInstallFolderLeavesCurrentFolder) {
  SetNumber("RegDaily", 1);
  SetText("apppath", (root_ / "nowhere").string());
  fs::current_path(root_);
  PassAt(At(2026, 5, 6, 9, 0, 0));
  EXPECT_EQ(fs::current_path(), fs::canonical(root_));
  // Tool and Notivo still agree on one report file.
  std::vector<NotivoRun> runs = NotivoRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].dbdata, "report 1 1 0 0\n");
}

TEST_F(EmailThreadTest, WorkerThreadSendsInReportHourAndStops) {
  SetNumber("RegDaily", 1);
  clock_.Set(At(2026, 5, 6, 9, 30, 0));
  gate_.ImporterLooked(Day(At(2026, 5, 6, 9, 30, 0)), false);
  thread_.Start(0);
  for (int i = 0; i < 600 && NotivoRuns().empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  thread_.Stop();
  EXPECT_EQ(NotivoRuns().size(), 1u);
  EXPECT_EQ(ToolRuns().size(), 1u);
}

}  // namespace
