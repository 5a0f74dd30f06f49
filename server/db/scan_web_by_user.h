// The Web rows of a period, user by user: ActivityBackend::ScanWebOfPeriod
// with the end of each user's rows told, for reads that sum per user.
#ifndef SERVER_DB_SCAN_WEB_BY_USER_H_
#define SERVER_DB_SCAN_WEB_BY_USER_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "server/db/activity_backend.h"

// Calls `row` for each row with from <= time < to, and `user_done` after
// the last row of each user (the user's number, none for rows without a
// user); a period without rows calls neither.
void ScanWebByUser(ActivityBackend& backend, int64_t from, int64_t to,
                   const std::function<void(std::string_view url, int64_t size)>& row,
                   const std::function<void(std::optional<int64_t> user)>& user_done);

#endif  // SERVER_DB_SCAN_WEB_BY_USER_H_
