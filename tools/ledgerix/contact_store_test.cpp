#include "tools/ledgerix/contact_store.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tools/ledgerix/test_support.h"

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kT0 = 1796000000;
constexpr int64_t kKeep = 30 * kDay;

class ContactStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    std::string error;
    ASSERT_TRUE(store_.Open(folder_.path() + CContactStore::kFileName, &error)) << error;
  }

  // "user,ip,computer,status" per contact, in list order.
  std::vector<std::string> Rows(int64_t now, int64_t window = kDay) {
    std::vector<std::string> rows;
    for (const Contact& c : store_.List(now, window)) {
      rows.push_back(c.user + "," + c.ip + "," + c.computer + "," + (c.active ? "1" : "0"));
    }
    return rows;
  }

  TempFolder folder_;
  CContactStore store_;
};

TEST_F(ContactStoreTest, RecordsRefreshesAndExpiresContacts) {
  EXPECT_TRUE(Rows(kT0).empty());
  store_.Record("bob", "PC-2", "10.0.0.2", kT0, kKeep);
  store_.Record("alice", "PC-7", "10.0.0.7", kT0 + 10, kKeep);
  store_.Record("bob", "PC-2", "10.0.0.2", kT0 + 20, kKeep);  // refresh, no second row
  EXPECT_EQ(Rows(kT0 + 30),
            (std::vector<std::string>{"alice,10.0.0.7,PC-7,1", "bob,10.0.0.2,PC-2,1"}));
  // Alice's window closes first: bob was refreshed later.
  EXPECT_EQ(Rows(kT0 + 10 + kDay),
            (std::vector<std::string>{"alice,10.0.0.7,PC-7,0", "bob,10.0.0.2,PC-2,1"}));
  EXPECT_EQ(Rows(kT0 + 20 + kDay),
            (std::vector<std::string>{"alice,10.0.0.7,PC-7,0", "bob,10.0.0.2,PC-2,0"}));
  // A wider window keeps them active; a report makes alice active again.
  EXPECT_EQ(Rows(kT0 + 20 + kDay, 2 * kDay)[0], "alice,10.0.0.7,PC-7,1");
  store_.Record("alice", "PC-7", "10.0.0.7", kT0 + 2 * kDay, kKeep);
  EXPECT_EQ(Rows(kT0 + 2 * kDay)[0], "alice,10.0.0.7,PC-7,1");
}

TEST_F(ContactStoreTest, AnAddressBelongsToItsLastReporter) {
  store_.Record("alice", "PC-7", "10.0.0.7", kT0, kKeep);
  store_.Record("bob", "PC-2", "10.0.0.7", kT0 + 5, kKeep);
  store_.Record("carl", "PC-3", "10.0.0.9", kT0 + 6, kKeep);
  EXPECT_EQ(Rows(kT0 + 10),
            (std::vector<std::string>{"alice,10.0.0.7,PC-7,0", "bob,10.0.0.7,PC-2,1",
                                      "carl,10.0.0.9,PC-3,1"}));
  // Alice reports again within the same second as bob's last report: the
  // order of reports decides, not the clock.
  store_.Record("alice", "PC-7", "10.0.0.7", kT0 + 5, kKeep);
  EXPECT_EQ(Rows(kT0 + 10)[0], "alice,10.0.0.7,PC-7,1");
  EXPECT_EQ(Rows(kT0 + 10)[1], "bob,10.0.0.7,PC-2,0");
  // The same user on another computer at the address takes it over too.
  store_.Record("alice", "PC-8", "10.0.0.7", kT0 + 11, kKeep);
  EXPECT_EQ(Rows(kT0 + 12),
            (std::vector<std::string>{"alice,10.0.0.7,PC-7,0", "alice,10.0.0.7,PC-8,1",
                                      "bob,10.0.0.7,PC-2,0", "carl,10.0.0.9,PC-3,1"}));
}

TEST_F(ContactStoreTest, LongUnseenContactsAreDropped) {
  store_.Record("alice", "PC-7", "10.0.0.7", kT0, kKeep);
  store_.Record("bob", "PC-2", "10.0.0.2", kT0 + 10 * kDay, kKeep);
  store_.Record("bob", "PC-2", "10.0.0.2", kT0 + kKeep, kKeep);
  EXPECT_EQ(Rows(kT0 + kKeep).size(), 2u);  // alice is exactly at the limit
  store_.Record("carl", "PC-3", "10.0.0.3", kT0 + kKeep + 1, kKeep);
  EXPECT_EQ(Rows(kT0 + kKeep + 1),
            (std::vector<std::string>{"bob,10.0.0.2,PC-2,1", "carl,10.0.0.3,PC-3,1"}));
}

TEST_F(ContactStoreTest, ContactsPersistAndOrderByBytes) {
  store_.Record("bob", "PC-2", "10.0.0.3", kT0, kKeep);
  store_.Record("Zed", "PC-1", "10.0.0.1", kT0, kKeep);
  store_.Record("bob", "PC-2", "10.0.0.20", kT0, kKeep);
  CContactStore again;
  std::string error;
  ASSERT_TRUE(again.Open(folder_.path() + CContactStore::kFileName, &error)) << error;
  std::vector<Contact> contacts = again.List(kT0, kDay);
  ASSERT_EQ(contacts.size(), 3u);
  EXPECT_EQ(contacts[0].user, "Zed");  // upper case sorts before lower case
  EXPECT_EQ(contacts[1].ip, "10.0.0.20");
  EXPECT_EQ(contacts[2].ip, "10.0.0.3");
  EXPECT_EQ(contacts[2].seen, kT0);
}

// "user,computer,first,last" of the intervals at `ip` covering `when`,
// times as offsets from kT0.
std::vector<std::string> Who(CContactStore& store, const std::string& ip, int64_t when) {
  std::vector<std::string> rows;
  for (const ContactInterval& i : store.IntervalsAt(ip, when, kDay)) {
    rows.push_back(i.user + "," + i.computer + "," + std::to_string(i.first_seen - kT0) + "," +
                   std::to_string(i.last_seen - kT0));
  }
  return rows;
}

TEST_F(ContactStoreTest, IntervalsAreExtendedWithinTheWindowAndKeptAsLongAsContacts) {
  store_.Record("alice", "PC-7", "10.0.0.7", kT0, kKeep, kDay);
  store_.Record("alice", "PC-7", "10.0.0.7", kT0 + kDay - 1, kKeep, kDay);  // extends
  store_.Record("alice", "PC-7", "10.0.0.7", kT0 + 3 * kDay, kKeep, kDay);  // a new stay
  store_.Record("bob", "PC-2", "10.0.0.7", kT0 + 3 * kDay + 5, kKeep, kDay);
  using Rows = std::vector<std::string>;
  EXPECT_EQ(Who(store_, "10.0.0.7", kT0 - 1), Rows{});
  EXPECT_EQ(Who(store_, "10.0.0.7", kT0), Rows{"alice,PC-7,0,86399"});
  // The window after the last report still counts, to its last second.
  EXPECT_EQ(Who(store_, "10.0.0.7", kT0 + 2 * kDay - 2), Rows{"alice,PC-7,0,86399"});
  EXPECT_EQ(Who(store_, "10.0.0.7", kT0 + 2 * kDay - 1), Rows{});
  // Both at once, the latest report first; another address is apart.
  EXPECT_EQ(Who(store_, "10.0.0.7", kT0 + 3 * kDay + 10),
            (Rows{"bob,PC-2,259205,259205", "alice,PC-7,259200,259200"}));
  EXPECT_EQ(Who(store_, "10.0.0.8", kT0 + 3 * kDay + 10), Rows{});
  // A clock set back before the stay began starts one of its own.
  store_.Record("bob", "PC-2", "10.0.0.7", kT0 + 3 * kDay, kKeep, kDay);
  EXPECT_EQ(Who(store_, "10.0.0.7", kT0 + 3 * kDay + 10).size(), 3u);
  // Past the keep the first stay goes, the later ones stay.
  store_.Record("carl", "PC-3", "10.0.0.3", kT0 + kDay + kKeep, kKeep, kDay);
  EXPECT_EQ(Who(store_, "10.0.0.7", kT0), Rows{});
  EXPECT_EQ(Who(store_, "10.0.0.7", kT0 + 3 * kDay + 10).size(), 3u);
}

// Every row of both tables, ids and sequence numbers included.
std::string Dump(const std::string& path) {
  SQLite::Database db(path);
  std::string text;
  for (const char* query :
       {"SELECT id, user_name, computer_name, ip, seen, seq FROM Contact ORDER BY id",
        "SELECT id, contact, first_seen, last_seen FROM ContactInterval ORDER BY id"}) {
    SQLite::Statement rows(db, query);
    while (rows.executeStep()) {
      for (int i = 0; i < rows.getColumnCount(); ++i) text += rows.getColumn(i).getString() + ",";
      text += "\n";
    }
  }
  return text;
}

TEST(ContactStoreRecordAllTest, HasTheEffectOfOneRecordPerContactAndBoundsTheLog) {
  TempFolder folder;
  ASSERT_FALSE(folder.path().empty());
  const std::string one = folder.path() + "one.dbs", all = folder.path() + "all.dbs";
  // The same history in both: an old stay due to go, one within the window.
  const int64_t now = kT0 + kKeep + 10;
  for (const std::string& path : {one, all}) {
    CContactStore store;
    std::string error;
    ASSERT_TRUE(store.Open(path, &error)) << error;
    store.Record("old", "PC-1", "10.0.0.1", kT0, kKeep, kDay);
    store.Record("gone", "PC-9", "10.0.0.9", kT0, kKeep, kDay);
    store.Record("ann", "PC-3", "10.0.0.3", now - 100, kKeep, kDay);
  }
  // The expired contact first (refreshed before the prune), an address
  // taken over, a contact twice, a known one extended, the rest new.
  std::vector<ContactValues> batch = {{"old", "PC-1", "10.0.0.1"},  {"bob", "PC-2", "10.0.0.3"},
                                      {"ann", "PC-3", "10.0.0.3"},  {"bob", "PC-2", "10.0.0.3"},
                                      {"carl", "PC-4", "10.0.0.4"}, {"bob", "PC-2", "10.0.0.5"}};
  {
    CContactStore store;
    std::string error;
    ASSERT_TRUE(store.Open(one, &error)) << error;
    for (const ContactValues& c : batch) store.Record(c.user, c.computer, c.ip, now, kKeep, kDay);
  }
  {
    CContactStore store;
    std::string error;
    ASSERT_TRUE(store.Open(all, &error)) << error;
    store.RecordAll(batch, now, kKeep, kDay);
    EXPECT_EQ(store.List(now, kDay).size(), 5u);  // "gone" went
  }
  EXPECT_EQ(Dump(all), Dump(one));
  EXPECT_NE(Dump(all).find("old,PC-1"), std::string::npos);

  // Many short runs, as the server makes them: the log stays bounded.
  for (int run = 0; run < 400; ++run) {
    CContactStore store;
    std::string error;
    ASSERT_TRUE(store.Open(all, &error)) << error;
    std::vector<ContactValues> contacts;
    for (int i = 0; i < 20; ++i) {
      const std::string n = std::to_string(run * 20 + i);
      contacts.push_back({"u" + n, "PC-" + n, "10.1." + std::to_string(i) + "." + n});
    }
    store.RecordAll(contacts, now + run, kKeep, kDay);
    ASSERT_LE(std::filesystem::file_size(all + "-wal"), 2 * CContactStore::kLogCheckpointBytes);
  }
  SQLite::Database check(all);
  EXPECT_EQ(check.execAndGet("PRAGMA integrity_check").getString(), "ok");
  EXPECT_EQ(check.execAndGet("SELECT COUNT(*) FROM Contact").getInt(), 8005);
}

TEST(ContactStoreUpgradeTest, AFileOfTheFirstLayoutKeepsItsContactsAndGetsItsIndexes) {
  TempFolder folder;
  ASSERT_FALSE(folder.path().empty());
  const std::string path = folder.path() + CContactStore::kFileName;
  {
    SQLite::Database old(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    old.exec(
        "CREATE TABLE Contact(id INTEGER PRIMARY KEY, user_name TEXT NOT NULL,"
        " computer_name TEXT NOT NULL, ip TEXT NOT NULL, seen INTEGER NOT NULL,"
        " seq INTEGER NOT NULL, UNIQUE(user_name, computer_name, ip));"
        "CREATE INDEX Contact_ip ON Contact(ip, seq);"
        "INSERT INTO Contact(user_name, computer_name, ip, seen, seq) VALUES"
        " ('bob', 'PC-2', '10.0.0.2', 1796000000, 7), ('ann', 'PC-3', '10.0.0.2', 1796000000, 3);");
  }
  CContactStore store;
  std::string error;
  ASSERT_TRUE(store.Open(path, &error)) << error;
  store.Record("carl", "PC-4", "10.0.0.4", kT0 + 1, kKeep);
  std::vector<Contact> contacts = store.List(kT0 + 2, kDay);
  ASSERT_EQ(contacts.size(), 3u);
  EXPECT_FALSE(contacts[0].active);  // ann: bob reported at her address later
  EXPECT_TRUE(contacts[1].active);
  EXPECT_EQ(contacts[2].user, "carl");
  SQLite::Database check(path);
  EXPECT_EQ(check.execAndGet("PRAGMA user_version").getInt(), 3);
  EXPECT_EQ(
      check
          .execAndGet("SELECT group_concat(name) FROM (SELECT name FROM sqlite_master"
                      " WHERE type = 'index' AND name LIKE 'Contact_%' ORDER BY name)")
          .getString(),
      "ContactInterval_contact,ContactInterval_last_seen,Contact_ip,Contact_seen,Contact_seq");
  // The contacts kept before the history began start it with their last report.
  EXPECT_EQ(store.IntervalsAt("10.0.0.2", 1796000000, kDay).size(), 2u);
  // The new contact took the number after the old ones.
  EXPECT_EQ(check.execAndGet("SELECT seq FROM Contact WHERE user_name = 'carl'").getInt(), 8);
}

TEST(ContactValueTest, RefusesValuesThatWouldBreakTheList) {
  EXPECT_EQ(ContactValueProblem("alice smith"), "");
  EXPECT_EQ(ContactValueProblem("J\xc3\xb6rg"), "");
  EXPECT_EQ(ContactValueProblem(""), "is empty");
  EXPECT_EQ(ContactValueProblem("a,b"), "holds a comma");
  EXPECT_EQ(ContactValueProblem("a\r\n"), "holds a control character");
  EXPECT_EQ(ContactValueProblem(std::string("a\0b", 3)), "holds a control character");
  EXPECT_EQ(ContactValueProblem(std::string(CContactStore::kMaxValueLength, 'x')), "");
  EXPECT_EQ(ContactValueProblem(std::string(CContactStore::kMaxValueLength + 1, 'x')),
            "is too long");
}

TEST(ContactStoreOpenTest, FailsInAMissingFolder) {
  CContactStore store;
  std::string error;
  EXPECT_FALSE(store.Open("/nonexistent-folder-for-ledgerix/contacts.dbs", &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
