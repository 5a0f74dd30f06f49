#include "server/logimport/rebuild_ip_log.h"

#include <stdexcept>

std::vector<IpLogRow> ReadIpLogRows(ActivityDatabase& db) {
  std::vector<IpLogRow> rows;
  for (const UserRow& user : db.AllUsers()) {
    IpLogRow row;
    row.user = user.user_name;
    if (user.ips) {
      if (auto ip = db.GetIp(*user.ips)) row.ip = ip->ip;
    }
    if (user.computers) {
      if (auto computer = db.GetComputer(*user.computers)) row.computer = computer->computer_name;
    }
    row.status = user.active != 0 ? "1" : "0";
    rows.push_back(std::move(row));
  }
  return rows;
}

bool RebuildIpLog(ActivityDatabase& db, const std::string& install_path, std::string* error) {
  std::vector<IpLogRow> rows;
  try {
    rows = ReadIpLogRows(db);
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
  return WriteIpLogFiles(install_path, rows, error);
}
