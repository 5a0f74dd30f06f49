#include "server/db/read_user_addresses.h"

#include "server/db/database_access.h"

std::vector<UserAddress> ReadUserAddresses(ActivityDatabase& db) {
  // One statement rather than a lookup per user: the list is read on every
  // refresh of the IP log.
  SQLite::Statement query(ActivityDatabaseAccess::Connection(db),
                          "SELECT u.user_name, i.ip, c.computer_name, u.active FROM \"User\" u"
                          " LEFT JOIN Ip i ON i.id = u.ips"
                          " LEFT JOIN Computer c ON c.id = u.computers"
                          " ORDER BY u.id");
  std::vector<UserAddress> users;
  while (query.executeStep()) {
    users.push_back({query.getColumn(0).getString(), query.getColumn(1).getString(),
                     query.getColumn(2).getString(), query.getColumn(3).getInt() != 0});
  }
  return users;
}
