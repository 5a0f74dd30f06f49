// Whole runs of the tool against a real contact list and activity database
// in a temporary install folder.
#include "tools/ledgerix/ledgerix_run.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "server/db/activity_database.h"
#include "tools/ledgerix/test_support.h"

namespace {

using Args = std::vector<std::string>;

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class LedgerixRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    settings_.install_path = folder_.path();
    settings_.now = LocalTime(2027, 1, 1, 9, 0, 0);  // a Friday, first of month and year
  }

  int Run(const Args& args) {
    out_.clear();
    err_.clear();
    return RunLedgerix(args, settings_, &out_, &err_);
  }

  // Opens (creating) the activity database of the install folder.
  ActivityDatabase& Db() {
    if (!db_.is_open()) {
      std::string error;
      EXPECT_TRUE(db_.Open(folder_.path() + "webfilter.dbs", &error)) << error;
    }
    return db_;
  }

  int64_t User(const std::string& name, const std::string& ip, const std::string& computer) {
    return Db().InsertUser(name, 1, Db().InsertIp(ip), Db().InsertComputer(computer, 1));
  }

  ScopedTimeZone zone_{"Europe/Berlin"};
  TempFolder folder_;
  LedgerixSettings settings_;
  ActivityDatabase db_;
  std::string out_;
  std::string err_;
};

TEST_F(LedgerixRunTest, ContactModesRecordAndListWithCrLf) {
  EXPECT_EQ(Run({"7"}), 0);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(Run({"6", "alice", "PC-7", "192.168.0.7"}), 0);
  EXPECT_EQ(out_, "");
  settings_.now += 60;
  EXPECT_EQ(Run({"6", "bob", "PC-2", "192.168.0.7"}), 0);
  EXPECT_EQ(Run({"7"}), 0);
  EXPECT_EQ(out_, "alice,192.168.0.7,PC-7,0\r\nbob,192.168.0.7,PC-2,1\r\n");
  settings_.now += 25 * 3600;
  EXPECT_EQ(Run({"7"}), 0);
  EXPECT_EQ(out_, "alice,192.168.0.7,PC-7,0\r\nbob,192.168.0.7,PC-2,0\r\n");
  settings_.contact_window_seconds = 48 * 3600;
  EXPECT_EQ(Run({"7"}), 0);
  EXPECT_EQ(out_, "alice,192.168.0.7,PC-7,0\r\nbob,192.168.0.7,PC-2,1\r\n");
}

TEST_F(LedgerixRunTest, TheListEndsWithTheDatabasesUsersThatHaveNoContact) {
  User("zoe", "10.0.0.3.log", "PC-3");
  User("alice", "10.0.0.9", "PC-9");  // has a contact: listed once, as the contact
  User("eve,x", "10.0.0.4", "PC-4");  // would break the rows
  Db().InsertUser("dan", 1, std::nullopt, std::nullopt);
  User("zoe", "10.0.0.5", "PC-5");  // a second row of a name: listed once
  db_.Close();
  EXPECT_EQ(Run({"6", "alice", "PC-7", "192.168.0.7"}), 0) << err_;
  EXPECT_EQ(Run({"7"}), 0) << err_;
  EXPECT_EQ(out_, "alice,192.168.0.7,PC-7,1\r\nzoe,10.0.0.3.log,PC-3,0\r\ndan,,,0\r\n");
  // A database that cannot be read gives no list rather than a shorter one.
  std::filesystem::remove(folder_.path() + "webfilter.dbs");
  { std::ofstream(folder_.path() + "webfilter.dbs") << "not a database"; }
  EXPECT_EQ(Run({"7"}), 1);
  EXPECT_EQ(out_, "");
  EXPECT_NE(err_.find("cannot open the activity database"), std::string::npos) << err_;
}

TEST_F(LedgerixRunTest, RefusedContactsAndBadCommandLinesLeaveNoTrace) {
  EXPECT_EQ(Run({"6", "mallory,x", "PC-1", "10.0.0.1"}), 1);
  EXPECT_NE(err_.find("user name holds a comma"), std::string::npos) << err_;
  EXPECT_EQ(Run({"6", "eve", "PC-1\r\nroot", "10.0.0.1"}), 1);
  EXPECT_EQ(Run({"6", "eve", "PC-1", ""}), 1);
  EXPECT_NE(err_.find("address is empty"), std::string::npos) << err_;
  EXPECT_EQ(Run({"7"}), 0);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(Run({"1", "1", "0"}), 2);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_.rfind("usage: ledgerix", 0), 0u) << err_;
  EXPECT_EQ(Run({}), 2);
}

TEST_F(LedgerixRunTest, MissingDatabaseReadsAsEmptyAndOthersFail) {
  // Before the first nightly import: the report of an empty period, the
  // same as from an empty database, and nothing is created.
  const Args reports[] = {Args{"1", "1", "0", "0"}, Args{"4", "7"}};
  std::vector<std::string> fresh;
  for (const Args& args : reports) {
    EXPECT_EQ(Run(args), 0) << err_;
    fresh.push_back(out_);
  }
  EXPECT_FALSE(std::filesystem::exists(folder_.path() + "webfilter.dbs"));
  Db();
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Run(reports[i]), 0) << err_;
    EXPECT_EQ(out_, fresh[i]);
    EXPECT_NE(out_, "");
  }
  db_.Close();
  // A file that is something else is no empty database.
  std::filesystem::remove(folder_.path() + "webfilter.dbs");
  {
    SQLite::Database other(folder_.path() + "webfilter.dbs",
                           SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  }
  EXPECT_EQ(Run({"4", "1"}), 1);
  EXPECT_EQ(out_, "");
  EXPECT_NE(err_.find("cannot open the activity database " + folder_.path() + "webfilter.dbs"),
            std::string::npos)
      << err_;
  // Nor is a missing install folder, or none configured.
  settings_.install_path = folder_.path() + "missing/";
  EXPECT_EQ(Run({"1", "1", "0", "0"}), 1);
  settings_.install_path = "";
  for (const Args& args : {Args{"7"}, Args{"1", "1", "0", "0"}}) {
    EXPECT_EQ(Run(args), 1);
    EXPECT_NE(err_.find("no install folder is configured"), std::string::npos) << err_;
  }
}

TEST_F(LedgerixRunTest, ActivityReportsCountOnlyTheirPeriod) {
  int64_t alice = User("alice", "10.0.0.7", "PC-7");
  int64_t bob = User("bob", "10.0.0.2", "PC-2");
  // Rows as the nightly import stores them: a day's import time minus a day.
  auto web = [&](const char* url, int size, int64_t time, int64_t user) {
    Db().InsertWeb(url, size, dbDateTime(time), user);
  };
  web("news.example", 30, LocalTime(2026, 12, 31, 0, 0, 5), alice);
  web("mail.example", 12, LocalTime(2026, 12, 31, 0, 0, 5), alice);
  web("news.example", 5, LocalTime(2026, 12, 31, 23, 59, 59), alice);
  web("shop.example", 4, LocalTime(2026, 12, 31, 0, 0, 0), bob);
  web("old.example", 99, LocalTime(2026, 12, 30, 23, 59, 59), bob);  // day before
  web("today.example", 99, LocalTime(2027, 1, 1, 0, 0, 0), bob);     // today
  web("first.example", 7, LocalTime(2026, 12, 1, 0, 0, 0), bob);     // first of month
  web("nov.example", 7, LocalTime(2026, 11, 30, 23, 0, 0), bob);     // month before

  ASSERT_EQ(Run({"1", "1", "0", "0"}), 0) << err_;
  EXPECT_NE(out_.find("Daily activity report"), std::string::npos);
  EXPECT_NE(out_.find("Thursday 31 December 2026"), std::string::npos);
  EXPECT_NE(out_.find("47 requests in total"), std::string::npos) << out_;
  EXPECT_NE(out_.find("4 requests in total"), std::string::npos);
  EXPECT_NE(out_.find("<td>news.example</td><td align=\"right\">35</td>"), std::string::npos);
  for (const char* absent : {"old.example", "today.example", "first.example", "nov.example"}) {
    EXPECT_EQ(out_.find(absent), std::string::npos) << absent;
  }
  // Busier users first, busier sites first.
  EXPECT_LT(out_.find("alice"), out_.find("bob"));
  EXPECT_LT(out_.find("news.example"), out_.find("mail.example"));

  ASSERT_EQ(Run({"1", "2", "2", "0"}), 0) << err_;
  EXPECT_NE(out_.find("25 December 2026 to 31 December 2026"), std::string::npos);
  EXPECT_NE(out_.find("old.example"), std::string::npos);
  EXPECT_EQ(out_.find("first.example"), std::string::npos);

  ASSERT_EQ(Run({"1", "7", "2", "0"}), 0) << err_;
  EXPECT_NE(out_.find("December 2026"), std::string::npos);
  EXPECT_NE(out_.find("first.example"), std::string::npos);
  EXPECT_EQ(out_.find("nov.example"), std::string::npos);
  EXPECT_EQ(out_.find("today.example"), std::string::npos);
}

TEST_F(LedgerixRunTest, FilterReportsListEventsPerUser) {
  int64_t anna = User("anna", "10.0.0.5", "PC-5");
  Db().InsertFilterActivity("casino.example/play", dbDateTime(LocalTime(2026, 12, 31, 14, 7, 33)),
                            "blocked", anna);
  Db().InsertFilterActivity("<b>bold</b>.example/", dbDateTime(LocalTime(2026, 12, 31, 9, 0, 0)),
                            "warned & logged", anna);
  Db().InsertFilterActivity("late.example/", dbDateTime(LocalTime(2027, 1, 1, 0, 0, 1)), "blocked",
                            anna);
  ASSERT_EQ(Run({"4", "1"}), 0) << err_;
  EXPECT_NE(out_.find("Daily filter report"), std::string::npos);
  EXPECT_NE(out_.find("2 filter events"), std::string::npos);
  size_t early = out_.find(
      "<td>2026-12-31 09:00:00</td><td>&lt;b&gt;bold&lt;/b&gt;.example/</td>"
      "<td>warned &amp; logged</td>");
  size_t later = out_.find(
      "<td>2026-12-31 14:07:33</td><td>casino.example/play</td>"
      "<td>blocked</td>");
  EXPECT_NE(early, std::string::npos) << out_;
  EXPECT_NE(later, std::string::npos) << out_;
  EXPECT_LT(later, early);  // the latest first
  EXPECT_EQ(out_.find("late.example"), std::string::npos);

  // The month before holds nothing: one line says so.
  settings_.now = LocalTime(2026, 12, 15, 9);
  ASSERT_EQ(Run({"4", "7"}), 0) << err_;
  EXPECT_EQ(out_,
            "<p style=\"font-family:Arial,sans-serif\"><b>Monthly filter report</b>: no filter "
            "events were recorded for November 2026.</p>\n");
  ASSERT_EQ(Run({"1", "7", "2", "0"}), 0) << err_;
  EXPECT_NE(out_.find("no web activity was recorded for November 2026"), std::string::npos);
}

TEST_F(LedgerixRunTest, ManySitesAndEventsAreCut) {
  int64_t carl = User("carl", "10.0.0.3", "PC-3");
  int64_t day = LocalTime(2026, 12, 31, 12);
  ActivityDatabase::Transaction transaction(Db());
  for (int i = 0; i < 15; ++i) {
    Db().InsertWeb("site" + std::to_string(i) + ".example", 100 + i, dbDateTime(day), carl);
  }
  for (int i = 0; i < 503; ++i) {
    Db().InsertFilterActivity("f.example/" + std::to_string(i), dbDateTime(day + i), "blocked",
                              carl);
  }
  transaction.Commit();
  ASSERT_EQ(Run({"1", "1", "0", "0"}), 0) << err_;
  EXPECT_NE(out_.find("site14.example"), std::string::npos);
  EXPECT_NE(out_.find("site5.example"), std::string::npos);
  EXPECT_EQ(out_.find("site4.example"), std::string::npos);
  EXPECT_NE(out_.find("and 5 more sites"), std::string::npos);
  ASSERT_EQ(Run({"4", "1"}), 0) << err_;
  EXPECT_NE(out_.find("503 filter events"), std::string::npos);
  // The latest events are listed, the earlier ones counted.
  EXPECT_NE(out_.find("f.example/502<"), std::string::npos);
  EXPECT_NE(out_.find("f.example/483<"), std::string::npos);
  EXPECT_EQ(out_.find("f.example/482<"), std::string::npos);
  EXPECT_NE(out_.find("and 483 earlier events"), std::string::npos);
}

// A generated month: more users than the report lists, more sites and
// events per user than a section shows.
TEST_F(LedgerixRunTest, AMonthOpensWithItsOverviewAndCutsTheSections) {
  const int users = 150, sites = 15, days = 31;
  ActivityDatabase::Transaction transaction(Db());
  for (int u = 0; u < users; ++u) {
    char name[8];
    std::snprintf(name, sizeof name, "u%03d", u);
    int64_t id = User(name, "10.0.0." + std::to_string(u), "PC-" + std::to_string(u));
    for (int day = 1; day <= days; ++day) {
      const dbDateTime time(LocalTime(2026, 12, day, 0, 0, 5));
      for (int s = 0; s < sites; ++s)
        Db().InsertWeb("s" + std::to_string(s) + ".example", (u + 1) * (s + 1), time, id);
      Db().InsertFilterActivity("b" + std::to_string(u % 12) + ".example/" + std::to_string(day),
                                dbDateTime(LocalTime(2026, 12, day, 12)),
                                day % 2 ? "blocked" : "allowed", id);
    }
  }
  transaction.Commit();

  ASSERT_EQ(Run({"1", "7", "2", "0"}), 0) << err_;
  EXPECT_LT(out_.size(), 1000000u);
  // Requests: 31 days of (u + 1) * (1 + ... + 15) for u = 0 ... 149.
  EXPECT_NE(out_.find("Requests</td><td align=\"right\" style=\"font-weight:bold\">42,129,000"),
            std::string::npos)
      << out_.substr(0, 2000);
  EXPECT_NE(out_.find("Users</td><td align=\"right\" style=\"font-weight:bold\">150<"),
            std::string::npos);
  const size_t top_users = out_.find("Top 10 users"), top_sites = out_.find("Top 10 sites");
  ASSERT_LT(top_users, top_sites);
  const std::string overview = out_.substr(top_users, top_sites - top_users);
  EXPECT_LT(overview.find(">u149 <small>"), overview.find(">u148 <small>"));
  EXPECT_NE(overview.find(">u140 <small>"), std::string::npos);
  EXPECT_EQ(overview.find(">u139 <small>"), std::string::npos);
  EXPECT_LT(out_.find("<td>s14.example</td>", top_sites), out_.find("<td>s13.example</td>"));
  // Sections for the 100 busiest users, busiest first, ten sites each.
  EXPECT_LT(out_.find(">u149 <small>", top_sites), out_.find(">u148 <small>", top_sites));
  EXPECT_NE(out_.find(">u050 <small>"), std::string::npos);
  EXPECT_EQ(out_.find(">u049 <small>"), std::string::npos);
  EXPECT_EQ(Occurrences(out_, "&#8230; and 5 more sites</p>"), 100u);
  EXPECT_NE(out_.find("&#8230; and 50 more users</p>"), std::string::npos);

  ASSERT_EQ(Run({"4", "7"}), 0) << err_;
  EXPECT_LT(out_.size(), 1000000u);
  EXPECT_NE(out_.find("Filter events</td><td align=\"right\" style=\"font-weight:bold\">4,650<"),
            std::string::npos);
  EXPECT_NE(out_.find("Blocked</td><td align=\"right\" style=\"font-weight:bold\">2,400<"),
            std::string::npos);
  EXPECT_NE(out_.find("<td>blocked</td><td align=\"right\">2,400</td>"), std::string::npos);
  EXPECT_NE(out_.find("Top 10 blocked sites"), std::string::npos);
  // b0 ... b5 are blocked for 13 users, b6 ... b11 for 12.
  EXPECT_NE(out_.find("<td>b0.example</td><td align=\"right\">208</td>"), std::string::npos);
  EXPECT_EQ(out_.find("<td>b9.example</td>"), std::string::npos);  // ties by name
  EXPECT_NE(out_.find("31 filter events: blocked 16, allowed 15"), std::string::npos);
  EXPECT_EQ(Occurrences(out_, "&#8230; and 11 earlier events</p>"), 100u);
  EXPECT_NE(out_.find("&#8230; and 50 more users</p>"), std::string::npos);
  // The latest event of a user comes first.
  EXPECT_LT(out_.find("<td>2026-12-31 12:00:00</td>"), out_.find("<td>2026-12-30 12:00:00</td>"));
}

}  // namespace
