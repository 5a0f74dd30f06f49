// The users of the activity database with the address and computer they
// were first stored with, as the IP list shows them. One query over User
// with its Ip and Computer rows, in id order (the order of storing).
//
// Throws std::exception when the database fails. Same threading rules as
// the database object.
#ifndef SERVER_DB_READ_USER_ADDRESSES_H_
#define SERVER_DB_READ_USER_ADDRESSES_H_

#include <string>
#include <vector>

#include "server/db/activity_database.h"

struct UserAddress {
  std::string user;
  std::string ip;        // empty when the user's Ip row is missing
  std::string computer;  // empty when the user's Computer row is missing
  bool active = false;
};

std::vector<UserAddress> ReadUserAddresses(ActivityDatabase& db);

#endif  // SERVER_DB_READ_USER_ADDRESSES_H_
