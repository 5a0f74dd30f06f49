#include "server/base/nightly_import_gate.h"

#include <ctime>

#include "platform/clock.h"

void NightlyImportGate::ImporterLooked(int64_t day, bool import_due) {
  std::lock_guard<std::mutex> lock(mu_);
  importer_day_ = day;
  if (import_due) import_due_ = true;
}

bool NightlyImportGate::TryBeginImport() {
  std::lock_guard<std::mutex> lock(mu_);
  if (reporting_ || importing_) return false;
  importing_ = true;
  return true;
}

void NightlyImportGate::EndImport() {
  std::lock_guard<std::mutex> lock(mu_);
  importing_ = false;
  import_due_ = false;
}

bool NightlyImportGate::TryBeginReports(int64_t now) {
  std::lock_guard<std::mutex> lock(mu_);
  if (importing_ || import_due_ || reporting_ || !importer_day_) return false;
  std::tm local{};
  if (platform::ToLocalTime(now, &local) && platform::DayNumber(local) > *importer_day_)
    return false;
  reporting_ = true;
  return true;
}

void NightlyImportGate::EndReports() {
  std::lock_guard<std::mutex> lock(mu_);
  reporting_ = false;
}
