// CContactStore: the contacts that agents report, kept in the SQLite file
// "contacts.dbs" in the install folder (table Contact), apart from the
// activity database so that a report never waits for the nightly import.
//
// A contact is one user on one computer at one address, with the time it
// was last reported and a sequence number that orders all reports. An
// address belongs to the contact that reported it last: earlier contacts at
// the same address, of any user or computer, stop counting as active, so
// the IP log never gives one address two active users.
//
// Errors: every call but Open throws std::exception when the file fails.
// Ownership and threads: one object owns one connection; use it from one
// thread. Several processes may use the file at once (WAL, busy timeout).
//
// The write-ahead log stays bounded: a run that has recorded contacts
// copies the log back into the file and empties it once it passes
// kLogCheckpointBytes. Each run is a short connection that is told not to
// do that when it closes, and SQLite's own checkpoint does not keep the
// log small across such runs: unchecked, the log grew by about 38 KB a
// report and every run slowed as it grew. The checkpoint is SQLite's
// own, so a kill at any moment leaves the file whole.
#ifndef TOOLS_LEDGERIX_CONTACT_STORE_H_
#define TOOLS_LEDGERIX_CONTACT_STORE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/contact_values.h"
#include "common/settings.h"
#include "tools/ledgerix/contact_history.h"

namespace SQLite {
class Database;
}

// One contact to record: the three values of an agent's report.
struct ContactValues {
  std::string user;
  std::string computer;
  std::string ip;
};

struct Contact {
  std::string user;
  std::string ip;
  std::string computer;
  int64_t seen = 0;  // seconds since 1970 of the last report
  bool active = false;
};

class CContactStore {
 public:
  static constexpr const char* kFileName = "contacts.dbs";
  static constexpr int kBusyTimeoutMs = 10000;
  static constexpr size_t kMaxValueLength = kMaxContactValueLength;
  // Past this size the log is copied back and emptied (SQLite's own
  // automatic checkpoint size), and it is cut back to it when reused.
  static constexpr int64_t kLogCheckpointBytes = int64_t{4} << 20;

  CContactStore();
  CContactStore(const CContactStore&) = delete;
  CContactStore& operator=(const CContactStore&) = delete;
  ~CContactStore();

  // Opens (creating when missing) the store at `path`. False with `error`.
  bool Open(const std::string& path, std::string* error);

  // Records a report of the contact at `now`; a known contact is refreshed.
  // The report extends the contact's latest interval when it comes within
  // `window_seconds` of its last report, and opens a new one otherwise
  // (contact_history.h). Contacts and intervals not reported for
  // `keep_seconds` are dropped, so the list the server reads back and the
  // history stay bounded on a network whose addresses change.
  void Record(const std::string& user, const std::string& computer, const std::string& ip,
              int64_t now, int64_t keep_seconds,
              int64_t window_seconds = int64_t{DefaultNumber(setting::kContactWindowHours)} * 3600);

  // Records `contacts` in their order, all at `now`, in one transaction:
  // the same rows, sequence numbers, intervals and pruning as one Record
  // per contact. On an error nothing is recorded.
  void RecordAll(const std::vector<ContactValues>& contacts, int64_t now, int64_t keep_seconds,
                 int64_t window_seconds);

  // Who had the address `ip` at `when`: the intervals that cover it (see
  // ContactIntervalsAt), latest last report first.
  std::vector<ContactInterval> IntervalsAt(const std::string& ip, int64_t when,
                                           int64_t window_seconds);

  // Where `user` reported from during from <= t < to (see
  // ContactIntervalsOfUser), earliest first.
  std::vector<ContactInterval> IntervalsOfUser(const std::string& user, int64_t from, int64_t to);
  // Every contact, ordered by user, address and computer (byte order).
  // Active: reported within `window_seconds` before `now` and the last
  // contact reported at its address.
  std::vector<Contact> List(int64_t now, int64_t window_seconds);

 private:
  // Ids of the active contacts (see List).
  std::unordered_set<int64_t> ActiveIds(int64_t now, int64_t window_seconds);
  // Copies the log back and empties it once it passes kLogCheckpointBytes.
  void BoundLog();

  std::string path_;
  std::unique_ptr<SQLite::Database> db_;
};

#endif  // TOOLS_LEDGERIX_CONTACT_STORE_H_
