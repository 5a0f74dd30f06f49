#include "server/base/refusal_counter.h"

#include "server/base/event_log.h"

bool CRefusalCounter::Count(const std::string& what) {
  int64_t now = clock_.Now();
  ++refused_;
  // A clock set back starts a new burst rather than silencing the next hour.
  bool starts_burst = !last_ || now < *last_ || now - *last_ >= kQuietSeconds;
  last_ = now;
  if (!starts_burst) return false;
  WriteEventLog(priority_,
                "%s (%llu refused since start; more are only counted until none comes for %lld s)",
                what.c_str(), static_cast<unsigned long long>(refused_),
                static_cast<long long>(kQuietSeconds));
  return true;
}
