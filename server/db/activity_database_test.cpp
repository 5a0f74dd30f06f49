#include "server/db/activity_database.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/test_support.h"
#include "server/db/activity_rows_for_testing.h"
#include "server/db/read_user_addresses.h"

namespace {

class ActivityDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    path_ = folder_.path() + "webfilter.dbs";
  }

  std::vector<std::string> Columns(SQLite::Database& db, const std::string& table) {
    SQLite::Statement s(db, "SELECT name FROM pragma_table_info(?) ORDER BY cid");
    s.bind(1, table);
    std::vector<std::string> names;
    while (s.executeStep()) names.push_back(s.getColumn(0).getString());
    return names;
  }

  TempFolder folder_;
  std::string path_;
};

// How SQLite would answer `sql`: the lines of its query plan.
std::string Plan(SQLite::Database& db, const std::string& sql) {
  SQLite::Statement s(db, "EXPLAIN QUERY PLAN " + sql);
  std::string plan;
  while (s.executeStep()) plan += s.getColumn(3).getString() + "\n";
  return plan;
}

TEST_F(ActivityDatabaseTest, FirstOpenCreatesTablesAndTheIndexesTheQueriesUse) {
  ActivityDatabase db;
  std::string error;
  ASSERT_TRUE(db.Open(path_, &error)) << error;
  SQLite::Database raw(path_, SQLite::OPEN_READONLY);
  using V = std::vector<std::string>;
  EXPECT_EQ(Columns(raw, "Computer"), (V{"id", "computer_name", "status"}));
  EXPECT_EQ(Columns(raw, "User"), (V{"id", "user_name", "active", "ips", "computers"}));
  EXPECT_EQ(Columns(raw, "Ip"), (V{"id", "ip"}));
  EXPECT_EQ(Columns(raw, "Web"), (V{"id", "url", "size", "time", "users"}));
  EXPECT_EQ(Columns(raw, "FilterActivity"), (V{"id", "url", "time", "action", "users"}));
  EXPECT_EQ(raw.execAndGet("PRAGMA user_version").getInt(), ActivityDatabase::kSchemaVersion);
  EXPECT_EQ(raw.execAndGet("PRAGMA journal_mode").getString(), "wal");
  // The lookups by name and a user's rows of a period (what the reports
  // read and the removal of old rows deletes) are searched through an
  // index, never by reading a whole table.
  for (const char* sql :
       {"SELECT id FROM \"User\" WHERE user_name='a'",
        "SELECT id FROM Computer WHERE computer_name='a'", "SELECT id FROM Ip WHERE ip='a'",
        "SELECT url FROM Web WHERE users=1 AND time>=0 AND time<9",
        "SELECT url FROM FilterActivity WHERE users=1 AND time>=0 AND time<9",
        "SELECT id FROM Web WHERE users IS NULL AND time<9",
        "SELECT min(users) FROM FilterActivity WHERE users>5"}) {
    std::string plan = Plan(raw, sql);
    EXPECT_NE(plan.find("USING"), std::string::npos) << sql << ": " << plan;
    EXPECT_EQ(plan.find("SCAN"), std::string::npos) << sql << ": " << plan;
  }
}

TEST_F(ActivityDatabaseTest, AFileOfTheFirstVersionIsReadAsItIsAndUpgradedByAWriter) {
  {
    // Version 1 as earlier programs wrote it: an index on every column.
    SQLite::Database old(path_, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    old.exec(
        "CREATE TABLE Computer(id INTEGER PRIMARY KEY, computer_name TEXT, status INTEGER);"
        "CREATE TABLE Ip(id INTEGER PRIMARY KEY, ip TEXT);"
        "CREATE TABLE \"User\"(id INTEGER PRIMARY KEY, user_name TEXT, active INTEGER,"
        " ips INTEGER REFERENCES Ip(id), computers INTEGER REFERENCES Computer(id));"
        "CREATE TABLE Web(id INTEGER PRIMARY KEY, url TEXT, size INTEGER, time INTEGER,"
        " users INTEGER REFERENCES \"User\"(id));"
        "CREATE TABLE FilterActivity(id INTEGER PRIMARY KEY, url TEXT, time INTEGER,"
        " action TEXT, users INTEGER REFERENCES \"User\"(id));"
        "CREATE INDEX Web_url ON Web(url); CREATE INDEX Web_users ON Web(users);"
        "CREATE INDEX Web_time ON Web(time); CREATE INDEX User_user_name ON \"User\"(user_name);"
        "INSERT INTO \"User\" VALUES(1, 'bob', 1, NULL, NULL);"
        "INSERT INTO Web VALUES(1, 'host1', 12, 1000, 1);"
        "PRAGMA user_version=1;");
  }
  std::string error;
  {
    ActivityDatabase reader;
    ASSERT_TRUE(reader.OpenReadOnly(path_, &error)) << error;
    EXPECT_EQ(reader.FindUser("bob")->id, 1);
  }
  {
    SQLite::Database raw(path_, SQLite::OPEN_READONLY);
    EXPECT_EQ(raw.execAndGet("PRAGMA user_version").getInt(), 1);  // a reader changes nothing
  }
  ActivityDatabase writer;
  ASSERT_TRUE(writer.Open(path_, &error)) << error;
  writer.InsertWeb("host2", 3, dbDateTime(2000), 1);
  ActivityRowsForTesting rows(path_);
  EXPECT_EQ(rows.Number("PRAGMA user_version"), ActivityDatabase::kSchemaVersion);
  ASSERT_EQ(rows.WebsOfUser(1).size(), 2u);
  EXPECT_EQ(rows.WebsOfUser(1)[0].url, "host1");
  std::string plan = Plan(rows.connection(), "SELECT url FROM Web WHERE users=1 AND time>=0");
  EXPECT_NE(plan.find("(users=? AND time>?)"), std::string::npos) << plan;
  // The import's record of its logs came with the upgrade.
  EXPECT_TRUE(writer.ImportedLogHashes("05_03_2026_bob_10.0.0.3", 12).empty());
  writer.InsertImportedLog("05_03_2026_bob_10.0.0.3", 12, "00ff", 1000);
  writer.InsertImportedLog("05_03_2026_bob_10.0.0.3", 12, "0100", 2000);
  writer.InsertImportedLog("05_03_2026_bob_10.0.0.3", 13, "0200", 3000);
  EXPECT_EQ(writer.ImportedLogHashes("05_03_2026_bob_10.0.0.3", 12),
            (std::vector<std::string>{"00ff", "0100"}));
}

TEST_F(ActivityDatabaseTest, RowsAndRelationsSurviveReopen) {
  std::string error;
  int64_t user = 0, ip = 0, computer = 0;
  {
    ActivityDatabase db;
    ASSERT_TRUE(db.Open(path_, &error)) << error;
    ActivityDatabase::Transaction transaction(db);
    ip = db.InsertIp("10.0.0.3");
    computer = db.InsertComputer("bob", 1);
    user = db.InsertUser("bob", 1, ip, computer);
    db.InsertUser("carol", 0, ip, computer);
    db.InsertWeb("host1", 12, dbDateTime(1000), user);
    db.InsertWeb("host2", 7, dbDateTime(2000), user);
    db.InsertFilterActivity("host1/page", dbDateTime(1500), "blocked", user);
    transaction.Commit();
  }
  ActivityDatabase db;
  ASSERT_TRUE(db.OpenReadOnly(path_, &error)) << error;
  ActivityRowsForTesting rows(path_);
  auto found = db.FindUser("bob");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->id, user);
  EXPECT_EQ(found->ips, ip);
  EXPECT_EQ(found->computers, computer);
  EXPECT_FALSE(db.FindUser("Bob"));  // keys compare exactly
  EXPECT_EQ(db.FindIp("10.0.0.3")->id, ip);
  EXPECT_EQ(db.FindComputer("bob")->status, 1);
  ASSERT_EQ(rows.UsersOfComputer(computer).size(), 2u);
  EXPECT_EQ(rows.UsersOfIp(ip)[1].user_name, "carol");
  auto webs = rows.WebsOfUser(user);
  ASSERT_EQ(webs.size(), 2u);
  EXPECT_EQ(webs[0].url, "host1");
  EXPECT_EQ(webs[0].size, 12);
  EXPECT_EQ(webs[1].time.stamp, 2000);
  auto filters = rows.FilterActivityOfUser(user);
  ASSERT_EQ(filters.size(), 1u);
  EXPECT_EQ(filters[0].action, "blocked");
  EXPECT_EQ(db.GetIp(ip)->ip, "10.0.0.3");
  EXPECT_EQ(db.GetComputer(computer)->computer_name, "bob");
  EXPECT_FALSE(db.GetIp(ip + 100));
  EXPECT_THROW(db.InsertIp("x"), std::runtime_error);  // read only
}

TEST_F(ActivityDatabaseTest, FailuresAreReportedNotHidden) {
  std::string error;
  ActivityDatabase db;
  EXPECT_FALSE(db.OpenReadOnly(path_, &error));  // never creates
  EXPECT_FALSE(std::filesystem::exists(path_));
  EXPECT_THROW(db.FindUser("x"), std::runtime_error);  // closed
  EXPECT_FALSE(db.Open(folder_.path() + "missing/dir/x.dbs", &error));
  EXPECT_FALSE(error.empty());

  ASSERT_TRUE(db.Open(path_, &error)) << error;
  EXPECT_THROW(db.InsertWeb("h", 1, dbDateTime(0), 999), std::runtime_error);  // no such user
  {
    ActivityDatabase::Transaction transaction(db);
    db.InsertIp("1.2.3.4");
  }  // rolled back
  EXPECT_FALSE(db.FindIp("1.2.3.4"));
  db.Close();

  // A file from a newer program is refused rather than misread.
  {
    SQLite::Database raw(path_, SQLite::OPEN_READWRITE);
    raw.exec("PRAGMA user_version=99");
  }
  EXPECT_FALSE(db.Open(path_, &error));
  EXPECT_NE(error.find("99"), std::string::npos);
}

TEST_F(ActivityDatabaseTest, UserAddressesCarryActiveAndNullReferences) {
  ActivityDatabase db;
  std::string error;
  ASSERT_TRUE(db.Open(path_, &error)) << error;
  int64_t ip = db.InsertIp("10.0.0.1");
  int64_t computer = db.InsertComputer("pc,1", 1);
  db.InsertUser("ann", 1, ip, computer);
  db.InsertUser("bob", 0, ip, computer);
  db.InsertUser("eve", 5, std::nullopt, std::nullopt);
  std::vector<std::string> rows;
  for (const UserAddress& u : ReadUserAddresses(db))
    rows.push_back(u.user + "|" + u.ip + "|" + u.computer + "|" + (u.active ? "1" : "0"));
  EXPECT_EQ(rows,
            (std::vector<std::string>{"ann|10.0.0.1|pc,1|1", "bob|10.0.0.1|pc,1|0", "eve|||1"}));
}

}  // namespace
