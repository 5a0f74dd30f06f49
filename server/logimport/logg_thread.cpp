#include "server/logimport/logg_thread.h"

#include <ctime>

#include "common/install_path.h"
#include "server/db/activity_database.h"
#include "server/logimport/remove_old_activity.h"

CLoggThread::CLoggThread(platform::Clock& clock, std::chrono::milliseconds poll_interval,
                         std::chrono::milliseconds file_pause)
    : clock_(clock), poll_interval_(poll_interval), file_pause_(file_pause) {}

CLoggThread::~CLoggThread() { Stop(); }

uint32_t CLoggThread::Run(uint32_t) {
  do {
    PollOnce();
  } while (SleepFor(poll_interval_));
  return 0;
}

bool CLoggThread::PollOnce() {
  std::tm local{};
  if (!platform::ToLocalTime(clock_.Now(), &local)) return false;
  const bool midnight_minute = local.tm_hour == 0 && local.tm_min == 0;
  if (imported_ == 0 && midnight_minute) {
    ImportNight();
    imported_ = 1;
    return true;
  }
  if (imported_ == 1 && !midnight_minute) imported_ = 0;
  return false;
}

CLoggThread::NightResult CLoggThread::ImportNight() {
  NightResult result;
  try {
    const std::string install_path = ReadInstallPath();
    ActivityDatabase db;
    if (!db.Open(install_path + ActivityDatabase::kFileName, &result.error)) return result;
    result.database_opened = true;
    DailyImportContext context{db,      install_path, clock_, [this] { return SleepFor(file_pause_); },
                               sites_, current_user_, current_address_};
    result.daily = ImportDailyLogs(context);
    if (StopRequested()) return result;
    result.filter = ImportFilterLog(db, install_path, clock_.Now());
    result.removed = RemoveOldActivity(db, clock_.Now(), [this] { return !StopRequested(); });
  } catch (const std::exception& e) {
    // Contained: this night ends here and the next night runs as usual.
    sites_.Clear();
    result.error = e.what();
  } catch (...) {
    sites_.Clear();
    result.error = "unknown failure";
  }
  return result;
}
