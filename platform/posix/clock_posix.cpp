#include <ctime>

#include "platform/clock.h"

namespace platform {
namespace {

class SystemClockImpl final : public Clock {
 public:
  int64_t Now() const override { return int64_t(std::time(nullptr)); }
};

}  // namespace

Clock& SystemClock() {
  static SystemClockImpl clock;
  return clock;
}

bool ToLocalTime(int64_t t, std::tm* out) {
  std::time_t tt = std::time_t(t);
  return localtime_r(&tt, out) != nullptr;
}

int64_t FromLocalTime(std::tm local) { return int64_t(std::mktime(&local)); }

}  // namespace platform
