// Retention through the night's import: a registry file names the install
// folder and KeepDays, a fake clock says when the night is.
#include "server/logimport/remove_old_activity.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/test_support.h"
#include "server/base/event_log_capture.h"
#include "server/base/kept_reports.h"
#include "server/db/activity_rows_for_testing.h"
#include "server/logimport/logg_thread.h"

namespace {

int64_t Local(int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return platform::LocalTimeOf(2026, month, day, hour, minute, second);
}

class RemoveOldActivityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    std::filesystem::create_directories(folder_.path() + "Logs");
  }

  void WriteRegistry(const std::string& keep_days_line) {
    std::string error;
    ASSERT_TRUE(registry_.WriteSettings(
        "\"apppath\"=\"" + folder_.path() + "\"\r\n" + keep_days_line, &error))
        << error;
  }

  // Rows on both sides of midnight 4 March; returns the user's id.
  void AddRows() {
    ActivityDatabase db;
    std::string error;
    ASSERT_TRUE(db.Open(folder_.path() + "webfilter.dbs", &error)) << error;
    int64_t user = db.InsertUser("bob", 1, db.InsertIp("10.0.0.3"), db.InsertComputer("bob", 1));
    for (int64_t t : {Local(2, 1), Local(3, 3, 23, 59, 59), Local(3, 4), Local(3, 5, 0, 0, 5)}) {
      db.InsertWeb("site.example", 1, dbDateTime(t), user);
      db.InsertFilterActivity("site.example/", dbDateTime(t), "blocked", user);
    }
  }

  // The removal's own lines among the night's.
  static std::vector<std::string> RemovalLines(const EventLogCapture& log) {
    std::vector<std::string> lines;
    for (const std::string& line : log.lines())
      if (line.rfind("Removed ", 0) == 0) lines.push_back(line);
    return lines;
  }

  int64_t Count(const std::string& sql) {
    return ActivityRowsForTesting(folder_.path() + "webfilter.dbs").Number(sql);
  }

  ScopedTimeZone zone_{"Europe/Paris"};
  TempFolder folder_;
  ScopedRegistryFile registry_;
  platform::FakeClock clock_{Local(3, 6, 0, 0, 5)};
  NightlyImportGate gate_;
  CLoggThread worker_{gate_, clock_, std::chrono::milliseconds(1), std::chrono::milliseconds(0)};
};

TEST_F(RemoveOldActivityTest, TheNightRemovesExactlyTheRowsBeforeTheKeptDays) {
  AddRows();
  // Reports kept on both sides of midnight 5 March, one not sent, and a
  // file of someone else's. A report of 4 March covers 3 March's rows.
  const std::vector<ReportEntry>& table = ReportTable();
  std::string error;
  ASSERT_TRUE(KeepReport(folder_.path(), table[0], Local(3, 3, 23, 59), "<p>old</p>", &error));
  ASSERT_TRUE(KeepReport(folder_.path(), table[0], Local(3, 4, 9), "<p>of 3 March</p>", &error));
  ASSERT_TRUE(KeepReport(folder_.path(), table[3], Local(3, 5, 9), "<p>new</p>", &error));
  ASSERT_TRUE(KeepReport(folder_.path(), table[1], Local(3, 5, 9), "<p>unsent</p>", &error, false));
  const std::string reports = folder_.path() + kKeptReportsFolder;
  std::filesystem::copy_file(reports + "2026-03-03-daily-activity.html", reports + "mine.html");
  WriteRegistry("\"KeepDays\"=dword:00000002\r\n");
  EventLogCapture log;
  NightSummary night = worker_.ImportNight();
  EXPECT_EQ(night.error, "");
  EXPECT_EQ(night.removed, 4);
  // 4 and 5 March stay: the two days before the night.
  EXPECT_EQ(Count("SELECT min(time) FROM Web"), Local(3, 4));
  EXPECT_EQ(Count("SELECT count(*) FROM Web"), 2);
  EXPECT_EQ(Count("SELECT min(time) FROM FilterActivity"), Local(3, 4));
  EXPECT_EQ(Count("SELECT count(*) FROM FilterActivity"), 2);
  EXPECT_EQ(Count("SELECT (SELECT count(*) FROM \"User\") + (SELECT count(*) FROM Ip) +"
                  " (SELECT count(*) FROM Computer)"),
            3);
  EXPECT_EQ(RemovalLines(log),
            (std::vector<std::string>{
                "Removed 4 activity rows older than 2 days (2 Web, 2 FilterActivity)",
                "Removed 2 kept reports of activity older than 2 days"}));
  EXPECT_FALSE(platform::FileExists(reports + "2026-03-03-daily-activity.html"));
  EXPECT_FALSE(platform::FileExists(reports + "2026-03-04-daily-activity.html"));
  EXPECT_TRUE(platform::FileExists(reports + "2026-03-05-weekly-filter.html"));
  EXPECT_TRUE(platform::FileExists(reports + "2026-03-05-daily-filter-not-sent.html"));
  EXPECT_TRUE(platform::FileExists(reports + "mine.html"));
  std::string index = platform::ReadWholeFile(reports + kReportsIndexName).value_or("");
  EXPECT_NE(index.find("<tr><td>2026-03-05</td><td><a href=\"2026-03-05-weekly-filter.html\">"),
            std::string::npos)
      << index;
  EXPECT_NE(index.find("<tr><td><b>not sent</b> (2026-03-05)</td><td><a "
                       "href=\"2026-03-05-daily-filter-not-sent.html\">Daily filter report</a> "
                       "<b>(not sent)</b>"),
            std::string::npos)
      << index;
  EXPECT_EQ(index.find("2026-03-04"), std::string::npos);
  // Sent later that day after all, the report replaces its unsent page.
  ASSERT_TRUE(KeepReport(folder_.path(), table[1], Local(3, 5, 10), "<p>sent</p>", &error));
  EXPECT_FALSE(platform::FileExists(reports + "2026-03-05-daily-filter-not-sent.html"));
}

TEST_F(RemoveOldActivityTest, MissingOrZeroKeepsEverything) {
  AddRows();
  for (const char* line : {"", "\"KeepDays\"=dword:00000000\r\n"}) {
    WriteRegistry(line);
    EventLogCapture log;
    EXPECT_EQ(worker_.ImportNight().removed, 0) << line;
    EXPECT_EQ(Count("SELECT count(*) FROM Web"), 4) << line;
    EXPECT_EQ(Count("SELECT count(*) FROM FilterActivity"), 4) << line;
    EXPECT_TRUE(RemovalLines(log).empty()) << line;
  }
}

TEST(RetentionCutoffTest, KeepsWholeLocalDaysAcrossClockChanges) {
  ScopedTimeZone zone("Europe/Paris");
  EXPECT_EQ(RetentionCutoff(Local(3, 6, 0, 0, 5), 31), Local(2, 3));
  // 29 March has 23 hours in Paris: the cutoff is still a local midnight.
  EXPECT_EQ(RetentionCutoff(Local(3, 30, 23, 59), 1), Local(3, 29));
  EXPECT_EQ(RetentionCutoff(Local(3, 30, 0, 0, 1), 2), Local(3, 28));
}

}  // namespace
