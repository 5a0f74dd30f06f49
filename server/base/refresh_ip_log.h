// RefreshIpLog: rewrites the IP log and the size file (through
// WriteIpLogFiles) from the database tool's list, `ledgerix 7`: the
// contacts, then the activity database's users that have none. Both
// workers that write the files go through it, the request worker after its
// reports and the log importer after the night and at start, so the two
// always write the same list.
//
// The files are replaced only from a complete list: the tool ended by
// itself with exit code 0 and wrote at most kMaxIpListBytes. Otherwise the
// previous files stay, and `problem` says why, for the caller to report in
// the way of its worker. Callable from any thread.
#ifndef SERVER_BASE_REFRESH_IP_LOG_H_
#define SERVER_BASE_REFRESH_IP_LOG_H_

#include <cstddef>
#include <string>

#include "platform/process.h"

// Far above what a real list reaches (100,000 contacts make about 4 MB),
// and a bound on what a broken tool can make the server hold.
inline constexpr size_t kMaxIpListBytes = size_t{64} << 20;

enum class IpLogRefresh {
  kReplaced,  // both files hold the new list
  kKept,      // the previous files stay; `problem` says why
  kStopped,   // `stop` said stop before the list was complete; files kept
};

IpLogRefresh RefreshIpLog(const platform::StopCheck& stop, std::string* problem);

// The same, but only when either file is missing (at start); checked and
// written under the files' lock, so a list written meanwhile by the other
// worker is not replaced. kReplaced also when both files exist.
IpLogRefresh RefreshIpLogIfMissing(const platform::StopCheck& stop, std::string* problem);

#endif  // SERVER_BASE_REFRESH_IP_LOG_H_
