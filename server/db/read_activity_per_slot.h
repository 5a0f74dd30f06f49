// How a period's activity spread over time, for the reports' charts:
// requests (the sum of Web sizes) or filter events per slot of a fixed
// length, over the whole network or one user name. The store sums the
// slots, so only the slots come back, not the rows; a caller puts the
// slots into local days and hours (15 minutes divide every time zone's
// offset).
//
// Throws std::exception when the database fails. Same threading rules as
// the database object.
#ifndef SERVER_DB_READ_ACTIVITY_PER_SLOT_H_
#define SERVER_DB_READ_ACTIVITY_PER_SLOT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "server/db/activity_database.h"

inline constexpr int64_t kQuarterHourSlot = 900;

enum class ActivityKind { kRequests, kFilterEvents };

// Element i covers from + i * slot <= time < from + (i + 1) * slot, up to
// `to`; with `user_name`, the rows of the User rows of that name only.
std::vector<int64_t> ReadActivityPerSlot(ActivityDatabase& db, ActivityKind kind, int64_t from,
                                         int64_t to, int64_t slot,
                                         const std::string* user_name = nullptr);

#endif  // SERVER_DB_READ_ACTIVITY_PER_SLOT_H_
