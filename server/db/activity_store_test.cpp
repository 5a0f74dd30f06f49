// One suite for both stores: every named operation behaves the same on the
// SQLite file and on PostgreSQL.
#include <gtest/gtest.h>

#include "platform/test_support.h"
#include "server/db/activity_store_for_testing.h"
#include "server/db/copy_activity_database.h"
#include "server/db/delete_activity_before.h"
#include "server/db/read_activity_of_period.h"
#include "server/db/read_activity_per_slot.h"
#include "server/db/read_filter_events_of_period.h"
#include "server/db/read_user_activity.h"
#include "server/db/read_user_addresses.h"

namespace {

class ActivityStoreTest : public ::testing::TestWithParam<StoreKind> {
 protected:
  // Opens a new, empty store of the suite's kind in `db`.
  void OpenFresh(ActivityDatabase& db) {
    std::string reason;
    location_ = FreshTestStore(GetParam(), folder_.path(), &reason);
    SKIP_OR_FAIL_WITHOUT_POSTGRES(location_, reason);
    std::string error;
    ASSERT_TRUE(db.Open(location_, &error)) << error;
  }

  TempFolder folder_;
  ActivityLocation location_;
};

TEST_P(ActivityStoreTest, StoresFindsAndRollsBack) {
  ActivityDatabase db;
  OpenFresh(db);
  if (!db.is_open()) return;
  const int64_t ip = db.InsertIp("10.0.0.2");
  const int64_t pc = db.InsertComputer("PC-2", 1);
  const int64_t bob = db.InsertUser("bob", 1, ip, pc);
  db.InsertUser("bob", 0, std::nullopt, std::nullopt);  // a second row of the name
  ASSERT_TRUE(db.FindUser("bob"));
  EXPECT_EQ(db.FindUser("bob")->id, bob);
  EXPECT_EQ(db.FindUser("bob")->ips, ip);
  EXPECT_FALSE(db.FindUser("amy"));
  EXPECT_EQ(db.FindIp("10.0.0.2")->id, ip);
  EXPECT_EQ(db.FindComputer("PC-2")->status, 1);
  EXPECT_EQ(db.GetIp(ip)->ip, "10.0.0.2");
  EXPECT_EQ(db.GetComputer(pc)->computer_name, "PC-2");
  ASSERT_EQ(db.AllUsers().size(), 2u);
  EXPECT_FALSE(db.AllUsers()[1].ips);
  const std::vector<UserAddress> addresses = ReadUserAddresses(db);
  ASSERT_EQ(addresses.size(), 2u);
  EXPECT_EQ(addresses[0].computer, "PC-2");
  EXPECT_TRUE(addresses[0].active);
  EXPECT_EQ(addresses[1].ip, "");
  EXPECT_FALSE(addresses[1].active);

  {
    ActivityDatabase::Transaction transaction(db);
    db.InsertWeb("lost.example", 1, dbDateTime(10), bob);
    db.InsertImportedLog("lost.log", 5, "h", 1);
    db.InsertIp("10.9.9.9");
  }  // rolled back, the gathered rows too
  {
    ActivityDatabase::Transaction transaction(db);
    db.InsertWeb("kept.example", 2, dbDateTime(10), bob);
    db.InsertImportedLog("kept.log", 5, "h1", 1);
    db.InsertImportedLog("kept.log", 5, "h2", 1);
    transaction.Commit();
  }
  EXPECT_FALSE(db.FindIp("10.9.9.9"));
  EXPECT_TRUE(db.ImportedLogHashes("lost.log", 5).empty());
  EXPECT_EQ(db.ImportedLogHashes("kept.log", 5).size(), 2u);
  EXPECT_TRUE(db.ImportedLogHashes("kept.log", 6).empty());
  const ActivityOfPeriod all = ReadActivityOfPeriod(db, 0, 100, 10);
  ASSERT_EQ(all.top_sites.size(), 1u);
  EXPECT_EQ(all.top_sites[0].name, "kept.example");

  {
    // A reference to no user fails the commit at the latest, as a whole.
    ActivityDatabase::Transaction transaction(db);
    db.InsertWeb("orphan.example", 1, dbDateTime(10), 999);
    EXPECT_THROW(transaction.Commit(), std::runtime_error);
  }
  EXPECT_EQ(ReadActivityOfPeriod(db, 0, 100, 10).requests, 2);
}

TEST_P(ActivityStoreTest, ReadsThePeriodsOfTheReports) {
  ActivityDatabase db;
  OpenFresh(db);
  if (!db.is_open()) return;
  const int64_t bob = db.InsertUser("bob", 1, db.InsertIp("10.0.0.2"), db.InsertComputer("b", 1));
  const int64_t amy = db.InsertUser("amy", 1, std::nullopt, std::nullopt);
  ActivityDatabase::Transaction transaction(db);
  db.InsertWeb("a.example", 5, dbDateTime(100), bob);
  db.InsertWeb("a.example", 2, dbDateTime(199), bob);
  db.InsertWeb("tab\there\\back\nline", 4, dbDateTime(150), bob);  // texts as they came
  db.InsertWeb("c.example", 9, dbDateTime(120), amy);
  db.InsertWeb("a.example", 99, dbDateTime(200), bob);  // outside
  db.InsertFilterActivity("x.example/1", dbDateTime(110), "Blocked", bob);
  db.InsertFilterActivity("x.example/2", dbDateTime(130), "blocked", bob);
  db.InsertFilterActivity("y.example/", dbDateTime(130), "allowed", bob);
  db.InsertFilterActivity("z.example/", dbDateTime(90), "blocked", amy);  // outside
  transaction.Commit();

  const ActivityOfPeriod web = ReadActivityOfPeriod(db, 100, 200, 10);
  EXPECT_EQ(web.requests, 20);
  EXPECT_EQ(web.site_count, 3);
  ASSERT_EQ(web.users.size(), 2u);
  EXPECT_EQ(web.users[0].user.name, "bob");
  EXPECT_EQ(web.users[0].user.ip, "10.0.0.2");
  EXPECT_EQ(web.users[0].requests, 11);
  ASSERT_EQ(web.users[0].top_sites.size(), 2u);
  EXPECT_EQ(web.users[0].top_sites[0].name, "a.example");
  EXPECT_EQ(web.users[0].top_sites[0].count, 7);
  EXPECT_EQ(web.users[0].top_sites[1].name, "tab\there\\back\nline");
  EXPECT_EQ(web.top_sites[0].name, "c.example");

  const FilterEventsOfPeriod filter = ReadFilterEventsOfPeriod(db, 100, 200, 10, 2);
  EXPECT_EQ(filter.events, 3);
  EXPECT_EQ(filter.blocked, 2);
  ASSERT_EQ(filter.users.size(), 1u);
  ASSERT_EQ(filter.users[0].latest.size(), 2u);
  // Newest first; of two at the same second the later row first.
  EXPECT_EQ(filter.users[0].latest[0].url, "y.example/");
  EXPECT_EQ(filter.users[0].latest[1].url, "x.example/2");
  ASSERT_EQ(filter.top_blocked_sites.size(), 1u);
  EXPECT_EQ(filter.top_blocked_sites[0].count, 2);

  const UserActivity one = ReadUserActivity(db, "bob", 100, 200, 1);
  ASSERT_EQ(one.labels.size(), 1u);
  EXPECT_EQ(one.labels[0].computer, "b");
  EXPECT_EQ(one.requests, 11);
  ASSERT_EQ(one.sites.size(), 2u);
  EXPECT_EQ(one.sites[0].count, 7);
  EXPECT_EQ(one.events, 3);
  ASSERT_EQ(one.actions.size(), 3u);  // "Blocked", "allowed", "blocked": ties bytewise
  EXPECT_EQ(one.actions[0].name, "Blocked");
  ASSERT_EQ(one.latest.size(), 1u);
  EXPECT_EQ(one.latest[0].url, "y.example/");
  EXPECT_TRUE(ReadUserActivity(db, "nobody", 0, 1000, 5).labels.empty());

  // The charts' slots: [100, 150) and [150, 200).
  EXPECT_EQ(ReadActivityPerSlot(db, ActivityKind::kRequests, 100, 200, 50),
            (std::vector<int64_t>{14, 6}));
  EXPECT_EQ(ReadActivityPerSlot(db, ActivityKind::kFilterEvents, 100, 200, 50),
            (std::vector<int64_t>{3, 0}));
  const std::string name = "bob";
  EXPECT_EQ(ReadActivityPerSlot(db, ActivityKind::kRequests, 100, 200, 50, &name),
            (std::vector<int64_t>{5, 6}));
}

TEST_P(ActivityStoreTest, RemovesTheOlderRowsInBatchesOldestFirst) {
  ActivityDatabase db;
  OpenFresh(db);
  if (!db.is_open()) return;
  const int64_t bob = db.InsertUser("bob", 1, std::nullopt, std::nullopt);
  for (int t = 90; t < 110; ++t) {
    db.InsertWeb("w" + std::to_string(t), 1, dbDateTime(t), bob);
    db.InsertFilterActivity("f" + std::to_string(t), dbDateTime(t), "blocked", bob);
  }
  int batches = 0;
  const DeletedActivity some = DeleteActivityBefore(db, 100, 4, [&] { return ++batches > 1; });
  EXPECT_EQ(some.web, 4);
  EXPECT_EQ(some.filter, 0);
  EXPECT_EQ(ReadActivityOfPeriod(db, 0, 94, 10).requests, 0);  // the oldest went
  EXPECT_EQ(ReadActivityOfPeriod(db, 94, 100, 10).requests, 6);
  const DeletedActivity rest = DeleteActivityBefore(db, 100, 4);
  EXPECT_EQ(rest.web, 6);
  EXPECT_EQ(rest.filter, 10);
  EXPECT_EQ(ReadActivityOfPeriod(db, 0, 1000, 10).requests, 10);
  EXPECT_EQ(ReadFilterEventsOfPeriod(db, 0, 1000, 10, 1).events, 10);
  EXPECT_EQ(db.AllUsers().size(), 1u);
}

TEST_P(ActivityStoreTest, CopiesAWholeFileAndRefusesATargetWithRows) {
  ActivityDatabase from;
  std::string error;
  ASSERT_TRUE(from.Open(folder_.path() + "source.dbs", &error)) << error;
  const int64_t bob =
      from.InsertUser("bob", 1, from.InsertIp("10.0.0.2"), from.InsertComputer("PC-2", 1));
  from.InsertUser("gap", 1, std::nullopt, std::nullopt);
  const int64_t amy = from.InsertUser("amy", 0, std::nullopt, std::nullopt);
  from.InsertWeb("a.example", 5, dbDateTime(100), bob);
  from.InsertWeb("b.example", 3, dbDateTime(101), amy);
  from.InsertFilterActivity("x.example/", dbDateTime(102), "blocked", amy);
  from.InsertImportedLog("bob_10.0.0.2.log", 40, "hash", 7);

  ActivityDatabase to;
  OpenFresh(to);
  if (!to.is_open()) return;
  CopiedActivity copied;
  ASSERT_TRUE(CopyActivityDatabase(from, to, &copied, &error)) << error;
  EXPECT_EQ(copied.users, 3);
  EXPECT_EQ(copied.web, 2);
  EXPECT_EQ(copied.filter, 1);
  EXPECT_EQ(copied.imported_logs, 1);
  EXPECT_EQ(to.FindUser("amy")->id, amy);  // ids, and so references, kept
  EXPECT_EQ(to.ImportedLogHashes("bob_10.0.0.2.log", 40).size(), 1u);
  const ActivityOfPeriod web = ReadActivityOfPeriod(to, 0, 1000, 10);
  ASSERT_EQ(web.users.size(), 2u);
  EXPECT_EQ(web.users[0].user.computer, "PC-2");
  EXPECT_EQ(ReadFilterEventsOfPeriod(to, 0, 1000, 10, 5).users[0].user.name, "amy");
  EXPECT_GT(to.InsertUser("new", 1, std::nullopt, std::nullopt), amy);  // ids go on above

  EXPECT_FALSE(CopyActivityDatabase(from, to, &copied, &error));
  EXPECT_NE(error.find("already holds activity"), std::string::npos) << error;
  EXPECT_EQ(to.AllUsers().size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(BothStores, ActivityStoreTest,
                         ::testing::Values(StoreKind::kSqlite, StoreKind::kPostgres),
                         [](const auto& test) { return StoreKindName(test.param); });

}  // namespace
