#include <gtest/gtest.h>

#include <string>

#include "server/db/read_user_activity.h"
#include "tools/ledgerix/command_line.h"
#include "tools/ledgerix/test_support.h"
#include "tools/ledgerix/user_report_html.h"

namespace {

class UserReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(db_.Open(folder_.path() + "webfilter.dbs", &error)) << error;
  }
  UserActivity Read(const std::string& name) {
    auto days = BoundsOfDays("2026-12-07", "2026-12-08");
    return ReadUserActivity(db_, name, days->begin, days->end, kUserEventsRead);
  }

  TempFolder folder_;
  ActivityDatabase db_;
};

TEST_F(UserReportTest, EverySiteOfEveryRowOfTheNameWithinTheDays) {
  // Two User rows of one name (another writer's doing) and a third user.
  const int64_t ann = db_.InsertUser("ann", 1, db_.InsertIp("10.0.0.5"), std::nullopt);
  const int64_t ann2 = db_.InsertUser("ann", 1, std::nullopt, db_.InsertComputer("PC-5", 1));
  const int64_t bo = db_.InsertUser("bo", 1, std::nullopt, std::nullopt);
  const int64_t first = LocalTime(2026, 12, 7), end = LocalTime(2026, 12, 9);
  db_.InsertWeb("a.example", 5, dbDateTime(first), ann);
  db_.InsertWeb("b.example", 7, dbDateTime(end - 1), ann2);
  db_.InsertWeb("a.example", 3, dbDateTime(end - 1), ann2);
  db_.InsertWeb("c.example", 1, dbDateTime(first), ann);
  db_.InsertWeb("d.example", 99, dbDateTime(end), ann);        // the day after
  db_.InsertWeb("e.example", 99, dbDateTime(first - 1), ann);  // the day before
  db_.InsertWeb("f.example", 99, dbDateTime(first), bo);
  db_.InsertFilterActivity("x.example/1", dbDateTime(first + 60), "blocked", ann);
  db_.InsertFilterActivity("x.example/2", dbDateTime(first + 120), "warned", ann2);
  db_.InsertFilterActivity("x.example/3", dbDateTime(end), "blocked", ann);

  UserActivity activity = Read("ann");
  ASSERT_EQ(activity.labels.size(), 2u);
  EXPECT_EQ(activity.labels[0].ip, "10.0.0.5");
  EXPECT_EQ(activity.labels[1].computer, "PC-5");
  EXPECT_EQ(activity.requests, 16);
  ASSERT_EQ(activity.sites.size(), 3u);
  EXPECT_EQ(activity.sites[0].name, "a.example");
  EXPECT_EQ(activity.sites[0].count, 8);
  EXPECT_EQ(activity.sites[1].name, "b.example");
  EXPECT_EQ(activity.sites[2].name, "c.example");
  EXPECT_EQ(activity.events, 2);
  ASSERT_EQ(activity.latest.size(), 2u);
  EXPECT_EQ(activity.latest[0].url, "x.example/2");  // newest first

  std::string page = RenderUserReport({"ann", "7 December 2026 to 8 December 2026", activity});
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(page.find("<td>a.example</td><td align=\"right\">8</td>"), std::string::npos);
  EXPECT_NE(page.find("blocked 1, warned 1"), std::string::npos);
  EXPECT_EQ(page.find("more site"), std::string::npos);
  EXPECT_TRUE(Read("nobody").labels.empty());
}

TEST_F(UserReportTest, AVeryBusyUserIsCutAtTheSizeLimitWithALineSayingSo) {
  const int64_t ann = db_.InsertUser("ann", 1, std::nullopt, std::nullopt);
  const int64_t day = LocalTime(2026, 12, 7, 12);
  {
    ActivityDatabase::Transaction transaction(db_);
    for (int i = 0; i < 30000; ++i) {
      db_.InsertWeb("site-" + std::to_string(i) + ".example", 30000 - i, dbDateTime(day), ann);
      db_.InsertFilterActivity("blocked-" + std::to_string(i) + ".example/", dbDateTime(day + i),
                               "blocked", ann);
    }
    transaction.Commit();
  }
  std::string page = RenderUserReport({"ann", "7 December 2026", Read("ann")});
  EXPECT_LE(page.size(), kUserPageBytes);
  EXPECT_GT(page.size(), kUserPageBytes * 9 / 10);
  // Busiest first, the rest counted; the events get their share too.
  EXPECT_NE(page.find("<td>site-0.example</td>"), std::string::npos);
  EXPECT_NE(page.find("more sites</p>"), std::string::npos);
  EXPECT_NE(page.find("<td>blocked-29999.example/</td>"), std::string::npos);
  EXPECT_NE(page.find("earlier events</p>"), std::string::npos);
  EXPECT_NE(page.find("30,000 filter events"), std::string::npos);
}

TEST(UserCommandLineTest, TakesRealDatesInOrderOnly) {
  auto command = ParseLedgerixCommand({"user", "ann", "2026-12-07", "2026-12-07"});
  ASSERT_TRUE(command);
  EXPECT_EQ(command->mode, LedgerixMode::kUserReport);
  EXPECT_EQ(command->days.begin, LocalTime(2026, 12, 7));
  EXPECT_EQ(command->days.end, LocalTime(2026, 12, 8));
  for (auto [from, to] : {std::pair{"2026-12-08", "2026-12-07"},
                          {"2026-02-30", "2026-03-01"},
                          {"2026-1-07", "2026-12-07"},
                          {"2026-12-07", "2026-12-07x"}}) {
    EXPECT_FALSE(ParseLedgerixCommand({"user", "ann", from, to})) << from << " " << to;
  }
}

}  // namespace
