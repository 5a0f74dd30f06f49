#include "server/logimport/store_user_activity.h"

namespace {

// The user's row id, creating the user (and its Ip and Computer rows when
// missing) first. `created` tells whether the user was new.
int64_t FindOrCreateUser(ActivityDatabase& db, const std::string& user_name,
                         const std::string& address, bool* created) {
  *created = false;
  if (auto user = db.FindUser(user_name)) return user->id;
  auto ip = db.FindIp(address);
  int64_t ip_id = ip ? ip->id : db.InsertIp(address);
  auto computer = db.FindComputer(user_name);
  int64_t computer_id = computer ? computer->id : db.InsertComputer(user_name, 1);
  *created = true;
  return db.InsertUser(user_name, 1, ip_id, computer_id);
}

}  // namespace

bool StoreUserActivity(ActivityDatabase& db, const std::string& user_name,
                       const std::string& address, const CSiteTable& sites, int64_t time) {
  bool created = false;
  int64_t user = FindOrCreateUser(db, user_name, address, &created);
  const dbDateTime stamp(time);
  for (const data_list2& entry : sites.entries()) db.InsertWeb(entry.url, entry.size, stamp, user);
  return created;
}
