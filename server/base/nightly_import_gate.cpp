#include "server/base/nightly_import_gate.h"

#include <ctime>

#include "platform/clock.h"

namespace {

// The start of the local minute 00:00 that `now` falls in, or nothing.
bool InMidnightMinute(int64_t now, int64_t* minute_start) {
  std::tm local{};
  if (!platform::ToLocalTime(now, &local)) return false;
  if (local.tm_hour != 0 || local.tm_min != 0) return false;
  *minute_start = now - local.tm_sec;
  return true;
}

}  // namespace

void NightlyImportGate::MarkImportDue() {
  std::lock_guard<std::mutex> lock(mu_);
  import_due_ = true;
}

bool NightlyImportGate::TryBeginImport(int64_t now) {
  std::lock_guard<std::mutex> lock(mu_);
  if (reporting_ || importing_) return false;
  importing_ = true;
  last_import_begin_ = now;
  return true;
}

void NightlyImportGate::EndImport() {
  std::lock_guard<std::mutex> lock(mu_);
  importing_ = false;
  import_due_ = false;
}

bool NightlyImportGate::TryBeginReports(int64_t now) {
  std::lock_guard<std::mutex> lock(mu_);
  if (importing_ || import_due_ || reporting_) return false;
  int64_t minute_start = 0;
  if (InMidnightMinute(now, &minute_start) && last_import_begin_ < minute_start) return false;
  reporting_ = true;
  return true;
}

void NightlyImportGate::EndReports() {
  std::lock_guard<std::mutex> lock(mu_);
  reporting_ = false;
}
