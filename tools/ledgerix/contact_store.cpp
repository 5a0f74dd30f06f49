#include "tools/ledgerix/contact_store.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "server/db/owner_only_database.h"

namespace {

// The schema, one step per version (PRAGMA user_version). A file of an
// earlier version gets the steps it lacks when it is opened; each step can
// run on a file that already has it. Files written before the version was
// kept hold version 0 and the first step's table.
const char* const kSchemaSteps[] = {
    // 1: the contacts.
    "CREATE TABLE IF NOT EXISTS Contact("
    " id INTEGER PRIMARY KEY,"
    " user_name TEXT NOT NULL,"
    " computer_name TEXT NOT NULL,"
    " ip TEXT NOT NULL,"
    " seen INTEGER NOT NULL,"
    " seq INTEGER NOT NULL,"
    " UNIQUE(user_name, computer_name, ip));"
    "CREATE INDEX IF NOT EXISTS Contact_ip ON Contact(ip, seq);",
    // 2: a record takes the next sequence number and finds the contacts to
    // drop by seeks instead of reading the whole table.
    "CREATE INDEX IF NOT EXISTS Contact_seq ON Contact(seq);"
    "CREATE INDEX IF NOT EXISTS Contact_seen ON Contact(seen);",
    // 3: the intervals in which each contact was reported.
    kContactHistorySchema,
};
constexpr int kSchemaVersion = static_cast<int>(std::size(kSchemaSteps));

int UserVersion(SQLite::Database& db) { return db.execAndGet("PRAGMA user_version").getInt(); }

// Brings the file up to kSchemaVersion; a newer file is used as it is (its
// steps only add to what this program reads).
void UpgradeSchema(SQLite::Database& db) {
  if (UserVersion(db) >= kSchemaVersion) return;
  // IMMEDIATE: two tools opening an old file at once upgrade it once.
  SQLite::Transaction transaction(db, SQLite::TransactionBehavior::IMMEDIATE);
  for (int version = UserVersion(db); version < kSchemaVersion; ++version)
    db.exec(kSchemaSteps[version]);
  db.exec("PRAGMA user_version=" + std::to_string(kSchemaVersion));
  transaction.commit();
}

}  // namespace

CContactStore::CContactStore() = default;
CContactStore::~CContactStore() = default;

bool CContactStore::Open(const std::string& path, std::string* error) {
  try {
    MakeDatabaseOwnerOnly(path, true);
    db_ = std::make_unique<SQLite::Database>(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db_->setBusyTimeout(kBusyTimeoutMs);
    db_->exec("PRAGMA journal_mode=WAL");
    // Each run of the tool is one short connection. A commit is then
    // written to the log without waiting for the disk, and closing leaves
    // the log for the next run instead of copying it back each time: the
    // file stays whole after a power cut and at most the last contacts
    // recorded before it are lost, which the agents report again.
    db_->exec("PRAGMA synchronous=NORMAL");
    sqlite3_db_config(db_->getHandle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    db_->exec("PRAGMA journal_size_limit=" + std::to_string(kLogCheckpointBytes));
    // A run of many contacts touches many pages: held in memory until the
    // commit rather than written to the log more than once.
    db_->exec("PRAGMA cache_size=-32768");
    path_ = path;
    UpgradeSchema(*db_);
    return true;
  } catch (const std::exception& e) {
    db_.reset();
    *error = e.what();
    return false;
  }
}

void CContactStore::Record(const std::string& user, const std::string& computer,
                           const std::string& ip, int64_t now, int64_t keep_seconds,
                           int64_t window_seconds) {
  RecordAll({{user, computer, ip}}, now, keep_seconds, window_seconds);
}

void CContactStore::RecordAll(const std::vector<ContactValues>& contacts, int64_t now,
                              int64_t keep_seconds, int64_t window_seconds) {
  if (contacts.empty()) return;
  {
    // IMMEDIATE: two recorders must not take the same sequence number.
    SQLite::Transaction transaction(*db_, SQLite::TransactionBehavior::IMMEDIATE);
    SQLite::Statement upsert(
        *db_,
        "INSERT INTO Contact(user_name, computer_name, ip, seen, seq)"
        " VALUES(?, ?, ?, ?, (SELECT COALESCE(MAX(seq), 0) + 1 FROM Contact))"
        " ON CONFLICT(user_name, computer_name, ip)"
        " DO UPDATE SET seen = excluded.seen, seq = excluded.seq RETURNING id");
    SQLite::Statement prune(*db_, "DELETE FROM Contact WHERE seen < ?");
    ContactHistoryWriter history(*db_);
    // Each contact exactly as a run of its own would record it, pruning
    // included. After the first contact's, a prune finds nothing (every
    // row left is seen at `now` or later) and costs one seek.
    for (const ContactValues& c : contacts) {
      upsert.reset();
      upsert.bind(1, c.user);
      upsert.bind(2, c.computer);
      upsert.bind(3, c.ip);
      upsert.bind(4, static_cast<int64_t>(now));
      if (!upsert.executeStep()) throw std::runtime_error("the contact was not stored");
      const int64_t contact = upsert.getColumn(0).getInt64();
      upsert.reset();
      history.Record(contact, now, window_seconds);
      prune.reset();
      prune.bind(1, static_cast<int64_t>(now - keep_seconds));
      prune.exec();
      history.Prune(now - keep_seconds);
    }
    transaction.commit();
  }
  BoundLog();
}

void CContactStore::BoundLog() {
  std::error_code error;
  const auto size = std::filesystem::file_size(path_ + "-wal", error);
  if (error || static_cast<int64_t>(size) <= kLogCheckpointBytes) return;
  // TRUNCATE waits (busy timeout) for readers of the old log to finish,
  // then leaves it empty. Busy past that: the next run tries again.
  sqlite3_wal_checkpoint_v2(db_->getHandle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr,
                            nullptr);
}

std::vector<ContactInterval> CContactStore::IntervalsAt(const std::string& ip, int64_t when,
                                                        int64_t window_seconds) {
  return ContactIntervalsAt(*db_, ip, when, window_seconds);
}

std::vector<ContactInterval> CContactStore::IntervalsOfUser(const std::string& user, int64_t from,
                                                            int64_t to) {
  return ContactIntervalsOfUser(*db_, user, from, to);
}

std::vector<Contact> CContactStore::List(int64_t now, int64_t window_seconds) {
  const std::unordered_set<int64_t> active = ActiveIds(now, window_seconds);
  SQLite::Statement query(*db_,
                          "SELECT id, user_name, ip, computer_name, seen FROM Contact"
                          " ORDER BY user_name, ip, computer_name");
  std::vector<Contact> contacts;
  while (query.executeStep()) {
    Contact contact;
    contact.user = query.getColumn(1).getString();
    contact.ip = query.getColumn(2).getString();
    contact.computer = query.getColumn(3).getString();
    contact.seen = query.getColumn(4).getInt64();
    contact.active = active.count(query.getColumn(0).getInt64()) != 0;
    contacts.push_back(std::move(contact));
  }
  return contacts;
}

std::unordered_set<int64_t> CContactStore::ActiveIds(int64_t now, int64_t window_seconds) {
  // Only contacts inside the window can be active, usually a small share of
  // those kept: found through the index on `seen`, each then checked
  // against the last report at its address (index on ip, seq).
  SQLite::Statement query(*db_,
                          "SELECT id FROM Contact c WHERE seen > ?"
                          " AND seq = (SELECT MAX(seq) FROM Contact later WHERE later.ip = c.ip)");
  query.bind(1, static_cast<int64_t>(now - window_seconds));
  std::unordered_set<int64_t> ids;
  while (query.executeStep()) ids.insert(query.getColumn(0).getInt64());
  return ids;
}
