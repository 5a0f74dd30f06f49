#include "server/db/delete_activity_before.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/test_support.h"
#include "server/db/activity_rows_for_testing.h"

namespace {

TEST(DeleteActivityBeforeTest, RemovesExactlyTheOlderRowsInBatches) {
  TempFolder folder;
  const std::string path = folder.path() + "webfilter.dbs";
  ActivityDatabase db;
  std::string error;
  ASSERT_TRUE(db.Open(path, &error)) << error;
  const int64_t bob = db.InsertUser("bob", 1, db.InsertIp("10.0.0.2"), db.InsertComputer("b", 1));
  for (int t = 90; t < 110; ++t) {
    db.InsertWeb("w" + std::to_string(t), 1, dbDateTime(t), bob);
    db.InsertFilterActivity("f" + std::to_string(t), dbDateTime(t), "blocked", bob);
  }
  ActivityRowsForTesting rows(path);
  // Stopped after the first batch: what went stays gone.
  int batches = 0;
  DeletedActivity some = DeleteActivityBefore(db, 100, 4, [&] { return ++batches > 1; });
  EXPECT_EQ(some.web, 4);
  EXPECT_EQ(some.filter, 0);
  EXPECT_EQ(rows.Number("SELECT min(time) FROM Web"), 94);  // the oldest went first
  EXPECT_EQ(batches, 1);

  DeletedActivity rest = DeleteActivityBefore(db, 100, 4);
  EXPECT_EQ(rest.web, 6);
  EXPECT_EQ(rest.filter, 10);
  EXPECT_EQ(rest.total(), 16);
  EXPECT_EQ(rows.Number("SELECT count(*) FROM Web WHERE time < 100"), 0);
  EXPECT_EQ(rows.Number("SELECT count(*) FROM Web WHERE time >= 100"), 10);
  EXPECT_EQ(rows.Number("SELECT count(*) FROM FilterActivity WHERE time < 100"), 0);
  EXPECT_EQ(rows.Number("SELECT count(*) FROM FilterActivity WHERE time >= 100"), 10);
  EXPECT_EQ(rows.Number("SELECT count(*) FROM \"User\""), 1);
  EXPECT_EQ(rows.AllIps().size(), 1u);
  EXPECT_EQ(rows.AllComputers().size(), 1u);
  EXPECT_EQ(DeleteActivityBefore(db, 100).total(), 0);
}

// A year of nights, each adding a day and removing what is older than 31
// days: the freed pages are reused, so the file stops growing.
TEST(DeleteActivityBeforeTest, AYearOfNightsLeavesTheFileNoLargerThanFortyNights) {
  TempFolder folder;
  const std::string path = folder.path() + "webfilter.dbs";
  ActivityDatabase db;
  std::string error;
  ASSERT_TRUE(db.Open(path, &error)) << error;
  std::vector<int64_t> users;
  for (int u = 0; u < 20; ++u)
    users.push_back(db.InsertUser("u" + std::to_string(u), 1, std::nullopt, std::nullopt));
  ActivityRowsForTesting rows(path);
  // Row ids as an install that has run for a while has them (SQLite stores
  // small ids in fewer bytes), kept by a row far in the future.
  rows.connection().exec(
      "INSERT INTO Web VALUES(5000000, 'x', 1, 4000000000, 1);"
      "INSERT INTO FilterActivity VALUES(5000000, 'x', 4000000000, 'x', 1)");
  auto file_size = [&rows] {
    return rows.Number("PRAGMA page_count") * rows.Number("PRAGMA page_size");
  };
  int64_t after_forty = 0, after_sixty = 0;
  for (int night = 1; night <= 365; ++night) {
    const int64_t day = 1790000000 + int64_t{night} * 86400;
    ActivityDatabase::Transaction transaction(db);
    for (int64_t user : users) {
      for (int s = 0; s < 30; ++s) {
        char site[32];
        std::snprintf(site, sizeof site, "site%03d.example", (night * 7 + s) % 500);
        db.InsertWeb(site, s + 1, dbDateTime(day), user);
      }
      db.InsertFilterActivity("blocked.example/", dbDateTime(day + 60), "blocked", user);
    }
    transaction.Commit();
    DeleteActivityBefore(db, day - 30 * 86400);
    if (night == 40) after_forty = file_size();
    if (night == 60) after_sixty = file_size();
  }
  EXPECT_EQ(rows.Number("SELECT count(*) FROM Web"), 31 * 20 * 30 + 1);
  // A night's import may take one page more than the removal of the night
  // before freed (a B-tree splits where it splits); beyond that page the
  // file does not grow.
  EXPECT_LE(file_size(), after_forty + rows.Number("PRAGMA page_size"));
  EXPECT_EQ(file_size(), after_sixty);
}

}  // namespace
