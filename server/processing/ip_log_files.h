// The IP log ("Logs/logip2.log") and the size file ("quorvane.size") in the
// install folder. Two workers rewrite them (the request worker from the
// database tool's list, the log importer from the activity database); both
// go through WriteIpLogFiles, which serialises the rewrites with one lock in
// the process and replaces each file whole, so a reader never sees a half
// written or empty file while a rewrite is under way.
#ifndef SERVER_PROCESSING_IP_LOG_FILES_H_
#define SERVER_PROCESSING_IP_LOG_FILES_H_

#include <string>
#include <vector>

struct IpLogRow {
  std::string user;
  std::string ip;
  std::string computer;
  std::string status;  // written to the IP log; the size file always gets 0
};

// `install_path` ends in "/" or is empty. Rows end with CR LF. False (with
// `error` set) when a file could not be replaced.
bool WriteIpLogFiles(const std::string& install_path, const std::vector<IpLogRow>& rows,
                     std::string* error);

#endif  // SERVER_PROCESSING_IP_LOG_FILES_H_
