#include "server/base/day_mark.h"

bool DayMark::Due(int64_t today, bool time_reached, bool today_still_due) {
  if (!marked_ || today < *marked_ - 1) marked_ = today_still_due ? today - 1 : today;
  return time_reached && today > *marked_;
}
