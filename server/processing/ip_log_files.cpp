#include "server/processing/ip_log_files.h"

#include <mutex>

#include "platform/files.h"

namespace {

// Held for the whole rewrite of both files, by either worker.
std::mutex g_ip_log_mu;

std::string Rows(const std::vector<IpLogRow>& rows, bool size_file) {
  std::string out;
  for (const IpLogRow& row : rows) {
    out += row.user + "," + row.ip + "," + row.computer + "," + (size_file ? "0" : row.status);
    out += "\r\n";
  }
  return out;
}

}  // namespace

bool WriteIpLogFiles(const std::string& install_path, const std::vector<IpLogRow>& rows,
                     std::string* error) {
  std::lock_guard<std::mutex> lock(g_ip_log_mu);
  bool ip_log = platform::WriteFileAtomically(install_path + "Logs/logip2.log",
                                              Rows(rows, false), error);
  std::string size_error;
  bool size_file = platform::WriteFileAtomically(install_path + "quorvane.size",
                                                 Rows(rows, true), &size_error);
  if (!size_file && error) *error = ip_log ? size_error : *error + "; " + size_error;
  return ip_log && size_file;
}
