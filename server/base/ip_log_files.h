// The IP log ("Logs/logip2.log") and the size file ("quorvane.size") in the
// install folder. Two workers rewrite them: the request worker after each
// agent's report, so a new contact shows at once, and the log importer after
// the night's import, so the files are whole again even on a day without
// reports. Both may write because neither edits a row: each writes the whole
// list, the database tool's one list (see refresh_ip_log.h), through
// WriteIpLogFiles,
// which serialises the rewrites with one lock in the process and replaces
// each file whole. Whichever writes last, the files hold one complete list,
// and a reader never sees a half written or empty file.
#ifndef SERVER_BASE_IP_LOG_FILES_H_
#define SERVER_BASE_IP_LOG_FILES_H_

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct IpLogRow {
  std::string user;
  std::string ip;
  std::string computer;
  std::string status;  // written to the IP log; the size file always gets 0
};

// `install_path` ends in "/" or is empty. Rows end with CR LF. Both new
// files are written before either replaces the old one, so a failure
// while writing leaves the two in step. False (with `error` set) when a
// file could not be replaced.
bool WriteIpLogFiles(const std::string& install_path, const std::vector<IpLogRow>& rows,
                     std::string* error);

// When either file is missing, writes both from what `rows` gives (called
// only then; nothing is written when it gives nothing). True when both
// exist afterwards. Throws what `rows` throws.
bool WriteIpLogFilesIfMissing(const std::string& install_path,
                              const std::function<std::optional<std::vector<IpLogRow>>()>& rows,
                              std::string* error);

// Removes the temporary files that a rewrite killed half way left beside
// the two files (taken under the same lock as the rewrites).
void RemoveIpLogLeftovers(const std::string& install_path);

#endif  // SERVER_BASE_IP_LOG_FILES_H_
