// The history of the contact store: for each contact (one user on one
// computer at one address) the intervals in which it was reported, so that
// "who had this address at that time?" has an answer after the contact
// itself has moved on. A report within the contact window of the contact's
// latest interval extends it; a later one opens a new interval. Intervals
// whose last report is older than the contacts kept are dropped with them.
//
// Table ContactInterval(id, contact -> Contact.id, first_seen, last_seen),
// in the store's file; helpers of CContactStore, which owns the connection
// and the transaction around each call. Errors throw std::exception.
#ifndef TOOLS_LEDGERIX_CONTACT_HISTORY_H_
#define TOOLS_LEDGERIX_CONTACT_HISTORY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace SQLite {
class Database;
class Statement;
}  // namespace SQLite

// The schema step that adds the table and its indexes, and gives every
// contact already stored an interval of its last report.
extern const char kContactHistorySchema[];

struct ContactInterval {
  std::string user;
  std::string computer;
  std::string ip;
  int64_t first_seen = 0;  // seconds since 1970: the first report
  int64_t last_seen = 0;   // the last report
};

// The writes of the history, prepared once for the many reports of one
// transaction. Lives no longer than the connection `db`.
class ContactHistoryWriter {
 public:
  explicit ContactHistoryWriter(SQLite::Database& db);
  ContactHistoryWriter(const ContactHistoryWriter&) = delete;
  ContactHistoryWriter& operator=(const ContactHistoryWriter&) = delete;
  ~ContactHistoryWriter();

  // Adds the report of contact `contact` at `now` to its history.
  void Record(int64_t contact, int64_t now, int64_t window_seconds);
  // Drops the intervals last seen before `cutoff`.
  void Prune(int64_t cutoff);

 private:
  std::unique_ptr<SQLite::Statement> latest_, extend_, open_, prune_;
};

// The intervals at `ip` that cover `when`: first_seen <= when <
// last_seen + window_seconds. Latest last report first.
std::vector<ContactInterval> ContactIntervalsAt(SQLite::Database& db, const std::string& ip,
                                                int64_t when, int64_t window_seconds);

// Where `user` reported from during from <= t < to: one entry per contact
// (computer and address) with an interval in the period, its first and
// last report over those intervals; earliest first.
std::vector<ContactInterval> ContactIntervalsOfUser(SQLite::Database& db, const std::string& user,
                                                    int64_t from, int64_t to);

#endif  // TOOLS_LEDGERIX_CONTACT_HISTORY_H_
