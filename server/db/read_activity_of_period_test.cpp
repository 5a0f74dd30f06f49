#include "server/db/read_activity_of_period.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include "platform/test_support.h"

namespace {

TEST(ReadActivityOfPeriodTest, TotalsTopSitesAndUsersOfThePeriodOnly) {
  TempFolder folder;
  const std::string path = folder.path() + "webfilter.dbs";
  ActivityDatabase db;
  std::string error;
  ASSERT_TRUE(db.Open(path, &error)) << error;
  const int64_t bob =
      db.InsertUser("bob", 1, db.InsertIp("10.0.0.2"), db.InsertComputer("PC-2", 1));
  const int64_t amy = db.InsertUser("amy", 1, std::nullopt, std::nullopt);
  const int64_t cy = db.InsertUser("cy", 1, std::nullopt, std::nullopt);
  db.InsertWeb("a.example", 5, dbDateTime(100), bob);  // first second of the period
  db.InsertWeb("b.example", 5, dbDateTime(150), bob);
  db.InsertWeb("a.example", 2, dbDateTime(199), bob);
  db.InsertWeb("c.example", 9, dbDateTime(120), amy);
  db.InsertWeb("z.example", 1, dbDateTime(120), cy);
  db.InsertWeb("x.example", 1, dbDateTime(120), cy);
  db.InsertWeb("a.example", 99, dbDateTime(200), bob);  // the period's end is outside
  db.InsertWeb("old.example", 99, dbDateTime(99), amy);
  {
    // Rows of another writer may lack a user; they are counted as one.
    SQLite::Database raw(path, SQLite::OPEN_READWRITE);
    raw.exec("INSERT INTO Web(url, size, time, users) VALUES('a.example', 2, 130, NULL)");
  }

  ActivityOfPeriod activity = ReadActivityOfPeriod(db, 100, 200, 2);
  EXPECT_EQ(activity.requests, 5 + 5 + 2 + 9 + 1 + 1 + 2);
  EXPECT_EQ(activity.site_count, 5);
  ASSERT_EQ(activity.top_sites.size(), 2u);
  EXPECT_EQ(activity.top_sites[0].name, "a.example");
  EXPECT_EQ(activity.top_sites[0].count, 9);
  EXPECT_EQ(activity.top_sites[1].name, "c.example");  // 9 as well: ties by address
  ASSERT_EQ(activity.users.size(), 4u);
  EXPECT_EQ(activity.users[0].user.name, "bob");  // 12, busiest first
  EXPECT_EQ(activity.users[0].user.ip, "10.0.0.2");
  EXPECT_EQ(activity.users[0].user.computer, "PC-2");
  EXPECT_EQ(activity.users[0].requests, 12);
  EXPECT_EQ(activity.users[0].site_count, 2);
  EXPECT_EQ(activity.users[0].top_sites[0].name, "a.example");
  EXPECT_EQ(activity.users[0].top_sites[0].count, 7);
  EXPECT_EQ(activity.users[1].user.name, "amy");
  EXPECT_EQ(activity.users[2].user.name, "");  // 2 requests, ties by name
  EXPECT_EQ(activity.users[3].user.name, "cy");
  EXPECT_EQ(activity.users[3].site_count, 2);
  EXPECT_EQ(activity.users[3].top_sites[0].name, "x.example");

  EXPECT_TRUE(ReadActivityOfPeriod(db, 300, 400, 10).users.empty());

  // Thousands of sites: each keeps its own total.
  {
    ActivityDatabase::Transaction transaction(db);
    for (int s = 0; s < 3000; ++s)
      db.InsertWeb("s" + std::to_string(s) + ".example", s % 7 == 3 ? 2 : 1, dbDateTime(500), cy);
    db.InsertWeb("s1234.example", 5, dbDateTime(501), bob);
    transaction.Commit();
  }
  ActivityOfPeriod many = ReadActivityOfPeriod(db, 500, 600, 3);
  EXPECT_EQ(many.site_count, 3000);
  EXPECT_EQ(many.requests, 3000 + 429 + 5);  // 429 sites of 2 requests
  ASSERT_EQ(many.top_sites.size(), 3u);
  EXPECT_EQ(many.top_sites[0].name, "s1234.example");
  EXPECT_EQ(many.top_sites[0].count, 6);
  EXPECT_EQ(many.top_sites[1].name, "s10.example");  // 2 requests, ties by address
  EXPECT_EQ(many.users[0].site_count, 3000);
  db.Close();
  EXPECT_THROW(ReadActivityOfPeriod(db, 100, 200, 2), std::runtime_error);
}

}  // namespace
