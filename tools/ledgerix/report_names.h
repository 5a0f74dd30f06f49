// How reports show users. By default as the database holds them (name,
// address, computer). With ReportPseudonyms on, each user's name becomes a
// pseudonym, "user-" and the first 8 hex digits of HMAC-SHA256 of the name
// under a secret key, and the address and computer are withheld: the same
// name gives the same pseudonym in every report, and only the key's holder
// can go back from a pseudonym to a name (by trying the names the
// database knows). The key is 32 random bytes, in hex, in the install
// folder's kKeyFileName, owner-only, made on first use. Any thread.
#ifndef TOOLS_LEDGERIX_REPORT_NAMES_H_
#define TOOLS_LEDGERIX_REPORT_NAMES_H_

#include <optional>
#include <string>

#include "server/db/report_rows.h"

class ReportNames {
 public:
  static constexpr char kKeyFileName[] = "report-pseudonyms.key";

  // Names as stored.
  ReportNames() = default;
  // Pseudonyms under the key of the install folder `install_path` (made
  // when missing); nullopt with `error` set when it cannot be read or made.
  static std::optional<ReportNames> WithPseudonyms(const std::string& install_path,
                                                   std::string* error);

  bool withheld() const { return !key_.empty(); }
  // The pseudonym of a name; "" stays "" (rows without a user).
  std::string Pseudonym(const std::string& name) const;
  // `user` as a report shows it.
  UserLabel Show(const UserLabel& user) const;
  std::string ShowName(const std::string& name) const;

 private:
  explicit ReportNames(std::string key) : key_(std::move(key)) {}
  std::string key_;  // the raw key bytes; empty: names as stored
};

#endif  // TOOLS_LEDGERIX_REPORT_NAMES_H_
