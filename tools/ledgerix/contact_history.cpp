#include "tools/ledgerix/contact_history.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <algorithm>

// An interval refers to its contact by id: a contact keeps its row (and id)
// while it is reported, and is dropped only when its last report, which is
// its latest interval's, is older than the keep, so no interval outlives its
// contact. Index (contact, last_seen) finds a contact's latest interval and,
// through the contacts at an address (index Contact_ip), the intervals that
// reach a time; index last_seen finds those to drop.
const char kContactHistorySchema[] =
    "CREATE TABLE IF NOT EXISTS ContactInterval("
    " id INTEGER PRIMARY KEY,"
    " contact INTEGER NOT NULL,"
    " first_seen INTEGER NOT NULL,"
    " last_seen INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS ContactInterval_contact ON ContactInterval(contact, last_seen);"
    "CREATE INDEX IF NOT EXISTS ContactInterval_last_seen ON ContactInterval(last_seen);"
    "INSERT INTO ContactInterval(contact, first_seen, last_seen)"
    " SELECT id, seen, seen FROM Contact WHERE NOT EXISTS (SELECT 1 FROM ContactInterval);";

ContactHistoryWriter::ContactHistoryWriter(SQLite::Database& db)
    : latest_(std::make_unique<SQLite::Statement>(
          db,
          "SELECT id, first_seen, last_seen FROM ContactInterval"
          " WHERE contact = ? ORDER BY last_seen DESC LIMIT 1")),
      extend_(std::make_unique<SQLite::Statement>(
          db, "UPDATE ContactInterval SET last_seen = ? WHERE id = ?")),
      open_(std::make_unique<SQLite::Statement>(
          db, "INSERT INTO ContactInterval(contact, first_seen, last_seen) VALUES(?, ?, ?)")),
      prune_(std::make_unique<SQLite::Statement>(
          db, "DELETE FROM ContactInterval WHERE last_seen < ?")) {}

ContactHistoryWriter::~ContactHistoryWriter() = default;

void ContactHistoryWriter::Record(int64_t contact, int64_t now, int64_t window_seconds) {
  SQLite::Statement& latest = *latest_;
  latest.reset();
  latest.bind(1, contact);
  // A report that comes while the contact is still active belongs to the
  // same stay; one after the window has closed starts another, and so does
  // one dated before the stay began (a clock set back).
  if (latest.executeStep() && now >= latest.getColumn(1).getInt64() &&
      now - latest.getColumn(2).getInt64() < window_seconds) {
    const int64_t id = latest.getColumn(0).getInt64();
    const int64_t last_seen = std::max(now, latest.getColumn(2).getInt64());
    latest.reset();
    extend_->reset();
    extend_->bind(1, last_seen);
    extend_->bind(2, id);
    extend_->exec();
    return;
  }
  latest.reset();
  open_->reset();
  open_->bind(1, contact);
  open_->bind(2, now);
  open_->bind(3, now);
  open_->exec();
}

void ContactHistoryWriter::Prune(int64_t cutoff) {
  prune_->reset();
  prune_->bind(1, cutoff);
  prune_->exec();
}

std::vector<ContactInterval> ContactIntervalsAt(SQLite::Database& db, const std::string& ip,
                                                int64_t when, int64_t window_seconds) {
  SQLite::Statement query(db,
                          "SELECT c.user_name, c.computer_name, c.ip, i.first_seen, i.last_seen"
                          " FROM Contact c JOIN ContactInterval i ON i.contact = c.id"
                          " WHERE c.ip = ? AND i.last_seen > ? AND i.first_seen <= ?"
                          " ORDER BY i.last_seen DESC, i.id DESC");
  query.bind(1, ip);
  query.bind(2, when - window_seconds);
  query.bind(3, when);
  std::vector<ContactInterval> intervals;
  while (query.executeStep()) {
    intervals.push_back({query.getColumn(0).getString(), query.getColumn(1).getString(),
                         query.getColumn(2).getString(), query.getColumn(3).getInt64(),
                         query.getColumn(4).getInt64()});
  }
  return intervals;
}

std::vector<ContactInterval> ContactIntervalsOfUser(SQLite::Database& db, const std::string& user,
                                                    int64_t from, int64_t to) {
  SQLite::Statement query(db,
                          "SELECT c.computer_name, c.ip, min(i.first_seen), max(i.last_seen)"
                          " FROM Contact c JOIN ContactInterval i ON i.contact = c.id"
                          " WHERE c.user_name = ? AND i.last_seen >= ? AND i.first_seen < ?"
                          " GROUP BY c.id ORDER BY 3, c.id");
  query.bind(1, user);
  query.bind(2, from);
  query.bind(3, to);
  std::vector<ContactInterval> intervals;
  while (query.executeStep()) {
    intervals.push_back({user, query.getColumn(0).getString(), query.getColumn(1).getString(),
                         query.getColumn(2).getInt64(), query.getColumn(3).getInt64()});
  }
  return intervals;
}
