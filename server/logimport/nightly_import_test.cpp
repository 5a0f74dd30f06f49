// The nightly import end to end inside the library: a temporary install
// folder named by a registry file, logs written as the outside programs
// write them, a fake clock driving the midnight schedule.
#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/test_support.h"
#include "server/base/event_log.h"
#include "server/db/activity_database.h"
#include "server/db/activity_rows_for_testing.h"
#include "server/formats/test_util.h"
#include "server/logimport/line_reader.h"
#include "server/logimport/logg_thread.h"
#include "server/logimport/night_summary.h"

namespace {

namespace fs = std::filesystem;

class NightlyImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    install_ = folder_.path() + "install/";
    fs::create_directories(install_ + "Logs");
    std::string error;
    ASSERT_TRUE(registry_.WriteSettings("\"apppath\"=\"" + install_ + "\"\r\n", &error)) << error;
    clock_.Set(Local(2026, 3, 6, 0, 0, 5));
    // The night refreshes the IP log through the database tool: a stand-in
    // that lists what the test gives it, and fails when asked to.
    fs::create_directories(folder_.path() + "bin");
    saved_path_ = getenv("PATH");
    setenv("PATH", (folder_.path() + "bin:" + saved_path_).c_str(), 1);
    ListTool("");
  }
  void ListTool(const std::string& list, int exit_code = 0) {
    WriteText(folder_.path() + "list", list);
    const std::string tool = folder_.path() + "bin/ledgerix";
    WriteText(tool, "#!/bin/sh\ncat '" + folder_.path() + "list'\nexit " +
                        std::to_string(exit_code) + "\n");
    fs::permissions(tool, fs::perms::owner_all);
  }
  void TearDown() override {
    setenv("PATH", saved_path_.c_str(), 1);
    // A test may take the rights away; the folder must still be removable.
    fs::permissions(install_, fs::perms::owner_all, fs::perm_options::add);
  }

  static int64_t Local(int year, int month, int day, int hour, int minute, int sec) {
    return platform::LocalTimeOf(year, month, day, hour, minute, sec);
  }

  std::string Log(const std::string& name) const { return install_ + "Logs/" + name; }

  // Writes encoded request records, ending lines with CR LF or LF.
  void WriteRequestLog(const std::string& name, const std::vector<std::string>& records,
                       const char* eol = "\r\n") {
    std::ofstream out(Log(name), std::ios::binary);
    for (const std::string& record : records) out << EncodeBase64ForTesting(record) << eol;
  }

  void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  ActivityDatabase& Db() {
    if (!db_.is_open()) {
      std::string error;
      EXPECT_TRUE(db_.Open(install_ + "webfilter.dbs", &error)) << error;
    }
    return db_;
  }

  // The stored rows, read on a connection of the test's own.
  ActivityRowsForTesting& Rows() {
    Db();
    if (!rows_) rows_.emplace(install_ + "webfilter.dbs");
    return *rows_;
  }

  std::string Read(const std::string& path) {
    return platform::ReadWholeFile(path).value_or("<missing>");
  }

  // A trigger that makes inserting the given url fail, to break a store
  // half way through.
  void FailInsertsOf(const std::string& table, const std::string& url) {
    SQLite::Statement(Rows().connection(), "CREATE TRIGGER fail_" + table + " BEFORE INSERT ON " +
                                               table + " WHEN NEW.url = '" + url +
                                               "' BEGIN SELECT RAISE(ABORT, 'refused'); END")
        .exec();
  }

  // First, so the zone and the folder outlast the worker and the database.
  ScopedTimeZone zone_{"Europe/Paris"};
  TempFolder folder_;
  ScopedRegistryFile registry_;
  std::string install_, saved_path_;
  platform::FakeClock clock_;
  NightlyImportGate gate_;
  CLoggThread worker_{gate_, clock_, std::chrono::milliseconds(1), std::chrono::milliseconds(0)};
  ActivityDatabase db_;
  std::optional<ActivityRowsForTesting> rows_;
};

TEST_F(NightlyImportTest, NewUserGetsRowsForEveryHost) {
  WriteRequestLog("05_03_2026_bob_10.0.0.3",
                  {"5*x Request: host1/a", "2*x Request: host2/b", "7*y Request: host1/c",
                   "9*no host", "4*x Request: host3/d"},
                  "\n");
  WriteRequestLog("06_03_2026_bob_10.0.0.3", {"1*x Request: today/a"});  // today's: waits
  NightSummary night = worker_.ImportNight();
  ASSERT_TRUE(night.database_opened) << night.error;
  EXPECT_EQ(night.logs_imported, 1);
  EXPECT_EQ(night.lines_imported, 4);
  EXPECT_EQ(night.lines_dropped, 1);
  EXPECT_FALSE(fs::exists(Log("05_03_2026_bob_10.0.0.3")));
  EXPECT_TRUE(fs::exists(Log("06_03_2026_bob_10.0.0.3")));

  auto user = Db().FindUser("bob");
  ASSERT_TRUE(user);
  EXPECT_EQ(user->active, 1);
  auto ip = Db().FindIp("10.0.0.3");
  auto computer = Db().FindComputer("bob");
  ASSERT_TRUE(ip && computer);
  EXPECT_EQ(computer->status, 1);
  EXPECT_EQ(user->ips, ip->id);
  EXPECT_EQ(user->computers, computer->id);
  EXPECT_EQ(Rows().UsersOfIp(ip->id).size(), 1u);
  EXPECT_EQ(Rows().UsersOfComputer(computer->id).size(), 1u);
  auto webs = Rows().WebsOfUser(user->id);
  ASSERT_EQ(webs.size(), 3u);  // the last host of the file is stored too
  EXPECT_EQ(webs[0].url, "host1");
  EXPECT_EQ(webs[0].size, 12);
  EXPECT_EQ(webs[1].url, "host2");
  EXPECT_EQ(webs[2].url, "host3");
  EXPECT_EQ(webs[2].size, 4);
  EXPECT_EQ(webs[0].time.stamp, Local(2026, 3, 5, 0, 0, 5));
}

TEST_F(NightlyImportTest, TheNightRefreshesTheIpLogFromTheToolsCompleteListOnly) {
  ListTool("bob,10.0.0.3,PC-3,0\r\n");
  EXPECT_TRUE(worker_.ImportNight().ip_log_rebuilt);
  EXPECT_EQ(Read(install_ + "Logs/logip2.log"), "bob,10.0.0.3,PC-3,0\r\n");
  EXPECT_EQ(Read(install_ + "quorvane.size"), "bob,10.0.0.3,PC-3,0\r\n");
  ListTool("cut,list,", 1);
  NightSummary night = worker_.ImportNight();
  EXPECT_FALSE(night.ip_log_rebuilt);
  EXPECT_EQ(Read(install_ + "Logs/logip2.log"), "bob,10.0.0.3,PC-3,0\r\n");
  EXPECT_NE(NightSummaryLines(night)[0].find("the IP log was not rebuilt (ledgerix 7 ended with "
                                             "exit code 1)"),
            std::string::npos)
      << NightSummaryLines(night)[0];
}

TEST_F(NightlyImportTest, ManyFilesAcrossBatchesAndAwkwardLines) {
  // Many files in one transaction; every one is stored and deleted.
  for (int i = 0; i < 230; ++i)
    WriteRequestLog("05_03_2026_u" + std::to_string(i) + "_10.1.0." + std::to_string(i),
                    {"1*x Request: h" + std::to_string(i) + "/", "2*x Request: shared/"});
  // A line over the length bound is skipped without stopping the file; the
  // last line may lack its line end; CR LF and LF mix.
  WriteText(Log("05_03_2026_zed_10.2.0.1"), EncodeBase64ForTesting("3*x Request: a/") + "\r\n" +
                                                std::string(LineReader::kMaxLine + 1, 'Q') + "\n" +
                                                EncodeBase64ForTesting("4*x Request: b/") +
                                                "\n\r\n" +
                                                EncodeBase64ForTesting("5*x Request: a/"));
  NightSummary night = worker_.ImportNight();
  EXPECT_EQ(night.logs_imported, 231);
  EXPECT_TRUE(night.left.empty());
  EXPECT_TRUE(platform::ListMatchingFiles(install_ + "Logs", "05_03_2026_*").empty());
  EXPECT_EQ(Db().AllUsers().size(), 231u);
  auto u7 = Db().FindUser("u7");
  ASSERT_TRUE(u7);
  EXPECT_EQ(Rows().WebsOfUser(u7->id).size(), 2u);
  auto zed = Rows().WebsOfUser(Db().FindUser("zed")->id);
  ASSERT_EQ(zed.size(), 2u);
  EXPECT_EQ(zed[0].url, "a");
  EXPECT_EQ(zed[0].size, 8);
  EXPECT_EQ(zed[1].size, 4);
}

TEST_F(NightlyImportTest, KnownUserAddsOnlyWebRowsAndReportLinesReplace) {
  int64_t ip = Db().InsertIp("10.0.0.9");
  int64_t user = Db().InsertUser("ann", 1, ip, Db().InsertComputer("ann", 1));
  Db().InsertComputer("carl", 1);  // a new user reuses a Computer row of its name
  WriteText(Log("05_03_2026_ann_10.0.0.1_report.txt"), "host1 5\r\nhost1 7\r\nnospace\r\nb 1");
  WriteText(Log("05_03_2026_carl_10.0.0.9"), "");  // empty: still creates the user
  NightSummary night = worker_.ImportNight();
  EXPECT_EQ(night.logs_imported, 2);
  EXPECT_EQ(Db().AllUsers().size(), 2u);
  EXPECT_EQ(Rows().AllIps().size(), 1u);  // address differs, but ann is not new
  EXPECT_EQ(Rows().AllComputers().size(), 2u);
  auto webs = Rows().WebsOfUser(user);
  ASSERT_EQ(webs.size(), 2u);
  EXPECT_EQ(webs[0].url, "host1");
  EXPECT_EQ(webs[0].size, 7);
  EXPECT_EQ(webs[1].url, "b");
  auto carl = Db().FindUser("carl");
  ASSERT_TRUE(carl);
  EXPECT_EQ(carl->ips, ip);
  EXPECT_EQ(Rows().WebsOfUser(carl->id).size(), 0u);
}

TEST_F(NightlyImportTest, FailedStoresKeepTheFileAndLoseNothing) {
  WriteRequestLog("05_03_2026_bob_10.0.0.3", {"1*x Request: good/a", "1*x Request: bad/a"});
  WriteRequestLog("05_03_2026_amy_10.0.0.4", {"1*x Request: good/a"});
  WriteRequestLog("05_03_2026_held_10.0.0.5", {"1*x Request: good/a"});
  // The day's filter events: bob's wait with his web log; a line of a user
  // with no log anywhere is dropped as before.
  std::string filter;
  for (const char* line : {"3/5/2026|a|amy|x|1:2:3|h1/|b_", "3/5/2026|a|ghost|x|1:2:3|h2/|b_",
                           "3/5/2026|a|bob|x|1:2:4|h3/|b_"})
    filter += EncodeBase64ForTesting(line) + "\r\n";
  WriteText(Log("Filter_05_03_2026.log"), filter);
  FailInsertsOf("Web", "bad");
  platform::ExclusiveFile held;
  ASSERT_TRUE(held.Open(Log("05_03_2026_held_10.0.0.5"), platform::ExclusiveFile::Mode::kRead));
  NightSummary night = worker_.ImportNight();
  EXPECT_EQ(night.logs_imported, 1);
  ASSERT_EQ(night.left.size(), 3u);
  EXPECT_EQ(night.left[0].name, "05_03_2026_bob_10.0.0.3");
  EXPECT_NE(night.left[0].reason.find("refused"), std::string::npos) << night.left[0].reason;
  EXPECT_EQ(night.left[1].name, "05_03_2026_held_10.0.0.5");
  EXPECT_EQ(night.left[2].name, "Filter_05_03_2026.log");
  EXPECT_EQ(night.left[2].reason,
            "kept for the next night: it has events of bob, whose web log is still in Logs/");
  EXPECT_TRUE(fs::exists(Log("05_03_2026_bob_10.0.0.3")));
  EXPECT_TRUE(fs::exists(Log("05_03_2026_held_10.0.0.5")));
  EXPECT_TRUE(fs::exists(Log("Filter_05_03_2026.log")));
  EXPECT_FALSE(fs::exists(Log("05_03_2026_amy_10.0.0.4")));
  EXPECT_FALSE(Db().FindUser("bob"));  // rolled back whole, user rows included
  const int64_t amy = Db().FindUser("amy")->id;
  EXPECT_TRUE(Rows().FilterActivityOfUser(amy).empty());

  // The store works again: everything goes in, each event once.
  SQLite::Statement(Rows().connection(), "DROP TRIGGER fail_Web").exec();
  held.Close();
  night = worker_.ImportNight();
  EXPECT_TRUE(night.left.empty()) << night.left[0].reason;
  EXPECT_EQ(night.logs_imported, 3);
  EXPECT_EQ(night.filter_rows, 2);
  EXPECT_EQ(night.lines_dropped, 1);  // ghost
  EXPECT_EQ(Rows().FilterActivityOfUser(amy).size(), 1u);
  EXPECT_EQ(Rows().FilterActivityOfUser(Db().FindUser("bob")->id).size(), 1u);
  EXPECT_FALSE(fs::exists(Log("Filter_05_03_2026.log")));
}

TEST_F(NightlyImportTest, UnopenableDatabaseLeavesEverythingInPlace) {
  WriteRequestLog("05_03_2026_bob_10.0.0.3", {"1*x Request: good/a"});
  WriteText(Log("Filter_05_03_2026.log"), EncodeBase64ForTesting("3/5/2026|a|bob|x|1:2:3|u|b_"));
  WriteText(install_ + "Logs/logip2.log", "keep,1,1,1\r\n");
  fs::create_directories(install_ + "webfilter.dbs");  // cannot be opened as a database
  NightSummary night = worker_.ImportNight();
  EXPECT_FALSE(night.database_opened);
  EXPECT_EQ(night.left.size(), 2u);
  EXPECT_TRUE(fs::exists(Log("05_03_2026_bob_10.0.0.3")));
  EXPECT_TRUE(fs::exists(Log("Filter_05_03_2026.log")));
  EXPECT_EQ(Read(install_ + "Logs/logip2.log"), "keep,1,1,1\r\n");
}

TEST_F(NightlyImportTest, FilterLogStoresKnownUsersOnly) {
  int64_t anna = Db().InsertUser("anna", 1, std::nullopt, std::nullopt);
  int64_t pc7 = Db().InsertUser("PC7", 1, std::nullopt, std::nullopt);
  std::string lines;
  for (const char* line :
       {"3/5/2026|PC7|anna|x|14:07:33|host1/page|blocked_z",
        "3/5/2026|PC7||x|14:07:33|host2/page|allowed_z", "3/5/126|PC7|anna|x|1:2:3|h3/|warn_",
        "3/5/2026|PC7|anna|x|14:07:33|host4/page|blocked", "3/5/2026|PC7|nobody|x|1:2:3|h/|b_",
        "3/5/2026||||1:2:3|h/|b_"})
    lines += EncodeBase64ForTesting(line) + "\r\n";
  lines += "\r\n" + std::string(LineReader::kMaxLine + 10, 'Q') + "\n";  // skipped unread
  WriteText(Log("Filter_05_03_2026.log"), lines);
  NightSummary night = worker_.ImportNight();
  EXPECT_TRUE(night.left.empty()) << night.left[0].reason;
  EXPECT_EQ(night.filter_rows, 4);
  EXPECT_EQ(night.lines_dropped, 3);  // unknown user, no user, too long
  EXPECT_FALSE(fs::exists(Log("Filter_05_03_2026.log")));
  auto rows = Rows().FilterActivityOfUser(anna);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].url, "host1/page");
  EXPECT_EQ(rows[0].action, "blocked");
  EXPECT_EQ(rows[0].time.stamp, Local(2026, 3, 5, 14, 7, 33));
  EXPECT_EQ(rows[1].time.stamp, Local(2026, 3, 5, 1, 2, 3));
  EXPECT_EQ(rows[2].action, "");
  ASSERT_EQ(Rows().FilterActivityOfUser(pc7).size(), 1u);
  EXPECT_EQ(Rows().FilterActivityOfUser(pc7)[0].url, "host2/page");
  EXPECT_EQ(Db().FindUser("nobody"), std::nullopt);  // filter lines create no users
}

TEST_F(NightlyImportTest, FilterLogEmptyIsDeletedAndFailureKeepsIt) {
  Db().InsertUser("anna", 1, std::nullopt, std::nullopt);
  WriteText(Log("Filter_05_03_2026.log"), "");
  EXPECT_EQ(worker_.ImportNight().logs_imported, 1);
  EXPECT_FALSE(fs::exists(Log("Filter_05_03_2026.log")));

  FailInsertsOf("FilterActivity", "bad");
  WriteText(Log("Filter_05_03_2026.log"),
            EncodeBase64ForTesting("3/5/2026|a|anna|x|1:2:3|good|b_") + "\n" +
                EncodeBase64ForTesting("3/5/2026|a|anna|x|1:2:3|bad|b_") + "\n");
  NightSummary night = worker_.ImportNight();
  ASSERT_EQ(night.left.size(), 1u);
  EXPECT_EQ(night.left[0].name, "Filter_05_03_2026.log");
  EXPECT_TRUE(fs::exists(Log("Filter_05_03_2026.log")));
  EXPECT_EQ(Rows().FilterActivityOfUser(1).size(), 0u);
}

TEST_F(NightlyImportTest, LogFoundAgainIsRemovedWithoutBeingCountedTwice) {
  WriteRequestLog("05_03_2026_bob_10.0.0.3", {"1*x Request: a/"});
  WriteText(Log("Filter_05_03_2026.log"), EncodeBase64ForTesting("3/5/2026|a|bob|x|1:2:3|u|b_"));
  const std::string daily = *platform::ReadWholeFile(Log("05_03_2026_bob_10.0.0.3"));
  const std::string filter = *platform::ReadWholeFile(Log("Filter_05_03_2026.log"));
  EXPECT_EQ(worker_.ImportNight().logs_imported, 2);
  // Put back as they were (a crash before the deletion leaves them so).
  WriteText(Log("05_03_2026_bob_10.0.0.3"), daily);
  WriteText(Log("Filter_05_03_2026.log"), filter);
  NightSummary night = worker_.ImportNight();
  EXPECT_EQ(night.logs_imported, 0);
  EXPECT_EQ(night.logs_already_imported, 2);
  EXPECT_FALSE(fs::exists(Log("05_03_2026_bob_10.0.0.3")));
  EXPECT_FALSE(fs::exists(Log("Filter_05_03_2026.log")));
  const int64_t bob = Db().FindUser("bob")->id;
  EXPECT_EQ(Rows().WebsOfUser(bob).size(), 1u);
  EXPECT_EQ(Rows().FilterActivityOfUser(bob).size(), 1u);
  // The same name with other content of the same size is a new log.
  WriteRequestLog("05_03_2026_bob_10.0.0.3", {"1*x Request: b/"});
  EXPECT_EQ(worker_.ImportNight().logs_imported, 1);
  EXPECT_EQ(Rows().WebsOfUser(bob).size(), 2u);
}

TEST_F(NightlyImportTest, StopDuringTheNightLosesAndDoublesNothing) {
  constexpr int kFiles = 200;
  for (int i = 0; i < kFiles; ++i)
    WriteRequestLog("05_03_2026_u" + std::to_string(i) + "_10.1.0.1", {"1*x Request: h/"});
  std::string filter;
  for (int i = 0; i < 50000; ++i)
    filter += EncodeBase64ForTesting("3/5/2026|a|u1|x|1:2:3|u|b_") + "\n";
  WriteText(Log("Filter_05_03_2026.log"), filter);
  clock_.Set(Local(2026, 3, 5, 23, 59, 59));
  CLoggThread slow{gate_, clock_, std::chrono::milliseconds(1), std::chrono::milliseconds(2)};
  slow.Start(0);
  clock_.Set(Local(2026, 3, 6, 0, 0, 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const auto stop_began = std::chrono::steady_clock::now();
  slow.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stop_began, std::chrono::seconds(5));
  // Each log is either stored and gone or untouched and still there.
  int stored = 0;
  for (int i = 0; i < kFiles; ++i) {
    const std::string user = "u" + std::to_string(i);
    const bool kept = fs::exists(Log("05_03_2026_" + user + "_10.1.0.1"));
    const bool in_db = Db().FindUser(user).has_value();
    EXPECT_NE(kept, in_db) << user;
    stored += in_db;
  }
  EXPECT_LT(stored, kFiles);  // the stop came before the end
  // The next night finishes the work, each log once.
  NightSummary night = worker_.ImportNight();
  EXPECT_EQ(night.logs_imported, kFiles - stored + 1) << night.error;
  EXPECT_EQ(Db().AllUsers().size(), static_cast<size_t>(kFiles));
  EXPECT_EQ(Rows().WebsOfUser(Db().FindUser("u7")->id).size(), 1u);
  EXPECT_EQ(Rows().FilterActivityOfUser(Db().FindUser("u1")->id).size(), 50000u);
}

TEST_F(NightlyImportTest, TheNightRunsOncePerNewLocalDateWhateverTheClockDoes) {
  clock_.Set(Local(2026, 3, 5, 23, 59, 58));
  WriteRequestLog("05_03_2026_bob_10.0.0.3", {"1*x Request: a/"});
  EXPECT_FALSE(worker_.PollOnce());  // a start outside minute 00:00 runs nothing
  EXPECT_TRUE(fs::exists(Log("05_03_2026_bob_10.0.0.3")));
  clock_.Set(Local(2026, 3, 6, 0, 0, 1));
  EXPECT_TRUE(worker_.PollOnce());
  EXPECT_FALSE(fs::exists(Log("05_03_2026_bob_10.0.0.3")));
  WriteRequestLog("05_03_2026_late_10.0.0.4", {"1*x Request: a/"});
  clock_.Set(Local(2026, 3, 6, 0, 0, 59));
  EXPECT_FALSE(worker_.PollOnce());
  // A clock set back past midnight, and forward again: the date ran.
  clock_.Set(Local(2026, 3, 5, 23, 59, 50));
  EXPECT_FALSE(worker_.PollOnce());
  clock_.Set(Local(2026, 3, 6, 0, 0, 3));
  EXPECT_FALSE(worker_.PollOnce());
  EXPECT_TRUE(fs::exists(Log("05_03_2026_late_10.0.0.4")));
  // A poll that comes first at 05:00 (the machine slept) runs the night.
  WriteRequestLog("06_03_2026_bob_10.0.0.3", {"1*x Request: b/"});
  clock_.Set(Local(2026, 3, 7, 5, 0, 2));
  EXPECT_TRUE(worker_.PollOnce());
  EXPECT_FALSE(fs::exists(Log("06_03_2026_bob_10.0.0.3")));
  EXPECT_EQ(Rows().WebsOfUser(Db().FindUser("bob")->id).size(), 2u);
  // A clock set back by days counts on from its new date.
  clock_.Set(Local(2026, 3, 2, 12, 0, 0));
  EXPECT_FALSE(worker_.PollOnce());
  clock_.Set(Local(2026, 3, 3, 0, 0, 4));
  EXPECT_TRUE(worker_.PollOnce());
}

TEST_F(NightlyImportTest, AMidnightThatDoesNotExistStillRunsTheNight) {
  ScopedTimeZone santiago("America/Santiago");  // 6 September 2026: 23:59:59, then 01:00
  const int64_t last_second = Local(2026, 9, 5, 23, 59, 59);
  clock_.Set(last_second - 2);
  WriteRequestLog("05_09_2026_bob_10.0.0.3", {"1*x Request: a/"});
  EXPECT_FALSE(worker_.PollOnce());
  clock_.Set(last_second + 2);
  std::tm local{};
  ASSERT_TRUE(platform::ToLocalTime(last_second + 2, &local));
  ASSERT_EQ(local.tm_hour, 1);
  EXPECT_TRUE(worker_.PollOnce());
  EXPECT_FALSE(fs::exists(Log("05_09_2026_bob_10.0.0.3")));
  EXPECT_EQ(worker_.imported_day(), platform::DayNumber(local));
  clock_.Advance(3);
  EXPECT_FALSE(worker_.PollOnce());
}

TEST_F(NightlyImportTest, RunningWorkerImportsAtMidnightAndStops) {
  clock_.Set(Local(2026, 3, 5, 23, 59, 59));
  WriteRequestLog("05_03_2026_bob_10.0.0.3", {"1*x Request: a/"});
  WriteText(Log("Filter_05_03_2026.log"), "");
  worker_.Start(0);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(fs::exists(Log("05_03_2026_bob_10.0.0.3")));
  clock_.Advance(2);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (fs::exists(Log("Filter_05_03_2026.log")) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  worker_.Stop();
  EXPECT_FALSE(fs::exists(Log("05_03_2026_bob_10.0.0.3")));
  EXPECT_FALSE(fs::exists(Log("Filter_05_03_2026.log")));
  EXPECT_NE(worker_.imported_day(), -1);
}

}  // namespace

TEST(NightSummaryLinesTest, AFailedNightsLineKeepsTheEndOfItsCauseWithinTheEventLogsLine) {
  NightSummary night;
  night.days = 3;
  night.error =
      "host=db1.example.org port=52197 dbname=quorvane: connection to server at \"10.20.30.40\", "
      "port 52197 failed: " +
      std::string(200, 'x') + " Connection refused\n\tIs the server running on that host?";
  std::string line = NightSummaryLines(night)[0];
  EXPECT_LE(line.size(), kMaxEventLogLine) << line;
  EXPECT_EQ(line.find("Nightly import of 3 days failed: 0 logs"), 0u) << line;
  EXPECT_NE(line.find("(host=db1.example.org"), std::string::npos) << line;
  EXPECT_NE(line.find("Connection refused??Is the server running on that host?)"),
            std::string::npos)
      << line;

  NightSummary removal;
  removal.database_opened = removal.ip_log_rebuilt = true;
  removal.removal_error = "removal: " + std::string(300, 'y') + " disk I/O error";
  line = NightSummaryLines(removal)[0];
  EXPECT_NE(line.find("y...yyy"), std::string::npos) << line;
  EXPECT_NE(line.find("y disk I/O error)"), std::string::npos) << line;
}
