#include "server/db/read_activity_per_slot.h"

#include "server/db/database_access.h"

std::vector<int64_t> ReadActivityPerSlot(ActivityDatabase& db, ActivityKind kind, int64_t from,
                                         int64_t to, int64_t slot, const std::string* user_name) {
  if (to <= from || slot <= 0) return {};
  std::vector<int64_t> slots(static_cast<size_t>((to - from + slot - 1) / slot), 0);
  const ActivityBackend::Table table = kind == ActivityKind::kRequests
                                           ? ActivityBackend::Table::kWeb
                                           : ActivityBackend::Table::kFilterActivity;
  for (const auto& [index, sum] :
       ActivityDatabaseAccess::Backend(db).ActivityPerSlot(table, from, to, slot, user_name)) {
    if (index >= 0 && static_cast<size_t>(index) < slots.size())
      slots[static_cast<size_t>(index)] += sum;
  }
  return slots;
}
