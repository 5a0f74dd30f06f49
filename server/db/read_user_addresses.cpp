#include "server/db/read_user_addresses.h"

#include "server/db/database_access.h"

std::vector<UserAddress> ReadUserAddresses(ActivityDatabase& db) {
  // Two reads of the whole tables rather than a lookup per user: the list
  // is read on every refresh of the IP log.
  ActivityBackend& backend = ActivityDatabaseAccess::Backend(db);
  const auto labels = backend.AllUserLabels();
  std::vector<UserAddress> users;
  for (const UserRow& row : backend.AllUsers()) {
    const UserLabel label = LabelOf(labels, row.id);
    users.push_back({row.user_name, label.ip, label.computer, row.active != 0});
  }
  return users;
}
