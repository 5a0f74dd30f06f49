#include "server/db/read_filter_events_of_period.h"

#include <gtest/gtest.h>

#include "platform/test_support.h"

namespace {

TEST(ReadFilterEventsOfPeriodTest, CountsBlockedSitesAndEachUsersLatestEvents) {
  TempFolder folder;
  ActivityDatabase db;
  std::string error;
  ASSERT_TRUE(db.Open(folder.path() + "webfilter.dbs", &error)) << error;
  const int64_t ann = db.InsertUser("ann", 1, std::nullopt, std::nullopt);
  const int64_t bo = db.InsertUser("bo", 1, std::nullopt, std::nullopt);
  db.InsertFilterActivity("casino.example/a", dbDateTime(110), "blocked", ann);
  db.InsertFilterActivity("casino.example/b", dbDateTime(130), "Blocked", ann);
  db.InsertFilterActivity("http://news.example/x", dbDateTime(130), "allowed", ann);
  db.InsertFilterActivity("games.example/", dbDateTime(120), "block", ann);
  db.InsertFilterActivity("late.example/", dbDateTime(200), "blocked", ann);  // outside
  db.InsertFilterActivity("games.example/z", dbDateTime(150), "warned", bo);

  FilterEventsOfPeriod events = ReadFilterEventsOfPeriod(db, 100, 200, 1, 2);
  EXPECT_EQ(events.events, 5);
  EXPECT_EQ(events.blocked, 3);
  ASSERT_EQ(events.top_blocked_sites.size(), 1u);
  EXPECT_EQ(events.top_blocked_sites[0].name, "casino.example");
  EXPECT_EQ(events.top_blocked_sites[0].count, 2);
  ASSERT_EQ(events.actions.size(), 5u);  // actions are counted as written
  ASSERT_EQ(events.users.size(), 2u);
  const UserFilterEventsOfPeriod& first = events.users[0];
  EXPECT_EQ(first.user.name, "ann");
  EXPECT_EQ(first.events, 4);
  ASSERT_EQ(first.latest.size(), 2u);
  // Newest first; of two at the same second, the later row first.
  EXPECT_EQ(first.latest[0].url, "http://news.example/x");
  EXPECT_EQ(first.latest[1].url, "casino.example/b");
  EXPECT_EQ(first.latest[1].time.stamp, 130);
  EXPECT_EQ(events.users[1].user.name, "bo");
  EXPECT_EQ(events.users[1].actions[0].name, "warned");

  EXPECT_TRUE(IsBlockedAction("BLOCKED by category"));
  EXPECT_FALSE(IsBlockedAction("unblocked"));
  EXPECT_FALSE(IsBlockedAction("blo"));
  EXPECT_EQ(SiteOfAddress("http://a.example/x/y"), "a.example");
  EXPECT_EQ(SiteOfAddress("a.example/q?u=http://b/"), "a.example");
  EXPECT_EQ(SiteOfAddress("bare.example"), "bare.example");
}

}  // namespace
