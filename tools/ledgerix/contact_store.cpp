#include "tools/ledgerix/contact_store.h"

#include <SQLiteCpp/SQLiteCpp.h>

namespace {

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS Contact("
    " id INTEGER PRIMARY KEY,"
    " user_name TEXT NOT NULL,"
    " computer_name TEXT NOT NULL,"
    " ip TEXT NOT NULL,"
    " seen INTEGER NOT NULL,"
    " seq INTEGER NOT NULL,"
    " UNIQUE(user_name, computer_name, ip));"
    "CREATE INDEX IF NOT EXISTS Contact_ip ON Contact(ip, seq);";

}  // namespace

CContactStore::CContactStore() = default;
CContactStore::~CContactStore() = default;

bool CContactStore::Open(const std::string& path, std::string* error) {
  try {
    db_ = std::make_unique<SQLite::Database>(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db_->setBusyTimeout(kBusyTimeoutMs);
    db_->exec("PRAGMA journal_mode=WAL");
    db_->exec(kSchema);
    return true;
  } catch (const std::exception& e) {
    db_.reset();
    *error = e.what();
    return false;
  }
}

void CContactStore::Record(const std::string& user, const std::string& computer,
                           const std::string& ip, int64_t now, int64_t keep_seconds) {
  // IMMEDIATE: two recorders must not take the same sequence number.
  SQLite::Transaction transaction(*db_, SQLite::TransactionBehavior::IMMEDIATE);
  SQLite::Statement upsert(*db_,
                           "INSERT INTO Contact(user_name, computer_name, ip, seen, seq)"
                           " VALUES(?, ?, ?, ?, (SELECT COALESCE(MAX(seq), 0) + 1 FROM Contact))"
                           " ON CONFLICT(user_name, computer_name, ip)"
                           " DO UPDATE SET seen = excluded.seen, seq = excluded.seq");
  upsert.bind(1, user);
  upsert.bind(2, computer);
  upsert.bind(3, ip);
  upsert.bind(4, static_cast<int64_t>(now));
  upsert.exec();
  SQLite::Statement prune(*db_, "DELETE FROM Contact WHERE seen < ?");
  prune.bind(1, static_cast<int64_t>(now - keep_seconds));
  prune.exec();
  transaction.commit();
}

std::vector<Contact> CContactStore::List(int64_t now, int64_t window_seconds) {
  SQLite::Statement query(*db_,
                          "SELECT user_name, ip, computer_name, seen,"
                          " seq = (SELECT MAX(seq) FROM Contact later WHERE later.ip = c.ip)"
                          " FROM Contact c ORDER BY user_name, ip, computer_name");
  std::vector<Contact> contacts;
  while (query.executeStep()) {
    Contact contact;
    contact.user = query.getColumn(0).getString();
    contact.ip = query.getColumn(1).getString();
    contact.computer = query.getColumn(2).getString();
    contact.seen = query.getColumn(3).getInt64();
    bool last_at_address = query.getColumn(4).getInt() != 0;
    contact.active = last_at_address && now - contact.seen < window_seconds;
    contacts.push_back(std::move(contact));
  }
  return contacts;
}

std::string ContactValueProblem(const std::string& value) {
  if (value.empty()) return "is empty";
  if (value.size() > CContactStore::kMaxValueLength) return "is too long";
  for (unsigned char c : value) {
    if (c == ',') return "holds a comma";
    if (c < 0x20 || c == 0x7f) return "holds a control character";
  }
  return "";
}
