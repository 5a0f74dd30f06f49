#include "server/base/ip_log_files.h"

#include <mutex>

#include "platform/files.h"

namespace {

constexpr char kIpLog[] = "Logs/logip2.log";
constexpr char kSizeFile[] = "quorvane.size";

// Held for the whole rewrite of both files, by either worker.
std::mutex g_ip_log_mu;

std::string Rows(const std::vector<IpLogRow>& rows, bool size_file) {
  std::string out;
  out.reserve(rows.size() * 48);
  for (const IpLogRow& row : rows) {
    out.append(row.user).append(",").append(row.ip).append(",").append(row.computer).append(",");
    out.append(size_file ? "0" : row.status).append("\r\n");
  }
  return out;
}

// The product's other programs read both files to apply each user's
// policy: readable by all, written by the server's account alone, whatever
// a member of the logs' group left at the IP log's name.
constexpr platform::FileMode kIpLogMode{0644};

// Called with g_ip_log_mu held.
bool WriteBoth(const std::string& install_path, const std::vector<IpLogRow>& rows,
               std::string* error) {
  return platform::WriteFilesAtomically({{install_path + kIpLog, Rows(rows, false), kIpLogMode},
                                         {install_path + kSizeFile, Rows(rows, true), kIpLogMode}},
                                        error);
}

}  // namespace

bool WriteIpLogFiles(const std::string& install_path, const std::vector<IpLogRow>& rows,
                     std::string* error) {
  std::lock_guard<std::mutex> lock(g_ip_log_mu);
  return WriteBoth(install_path, rows, error);
}

bool WriteIpLogFilesIfMissing(const std::string& install_path,
                              const std::function<std::optional<std::vector<IpLogRow>>()>& rows,
                              std::string* error) {
  std::lock_guard<std::mutex> lock(g_ip_log_mu);
  if (platform::FileExists(install_path + kIpLog) && platform::FileExists(install_path + kSizeFile))
    return true;
  std::optional<std::vector<IpLogRow>> listed = rows();
  return listed && WriteBoth(install_path, *listed, error);
}

void RemoveIpLogLeftovers(const std::string& install_path) {
  std::lock_guard<std::mutex> lock(g_ip_log_mu);
  for (const char* file : {kIpLog, kSizeFile}) {
    const std::string path = install_path + file;
    const std::string folder = platform::FolderOf(path);
    // The temporary names of WriteFileAtomically: the file's name and ".tmp"
    // followed by six characters.
    const std::string pattern = path.substr(path.rfind('/') + 1) + ".tmp??????";
    for (const std::string& name : platform::ListMatchingFiles(folder, pattern))
      platform::RemoveFile(std::string(folder).append("/").append(name));
  }
}
