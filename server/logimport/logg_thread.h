// CLoggThread: the log importer. In the first poll of minute 00:00 local
// time it moves the previous day's per-user daily logs and then the filter
// log from "Logs/" into the activity database "webfilter.dbs", rewriting the
// IP log and the size file on the way. Only this worker writes the
// database; everything below Run happens on its thread.
//
// The imported flag keeps a night from running twice in minute 00:00 and is
// cleared by the first poll outside that minute, so a long night never
// keeps the next one from starting.
#ifndef SERVER_LOGIMPORT_LOGG_THREAD_H_
#define SERVER_LOGIMPORT_LOGG_THREAD_H_

#include <atomic>
#include <chrono>
#include <string>

#include "platform/clock.h"
#include "server/base/cthread.h"
#include "server/logimport/import_daily_logs.h"
#include "server/logimport/import_filter_log.h"
#include "server/logimport/site_table.h"

class CLoggThread final : public CThread {
 public:
  static constexpr std::chrono::milliseconds kPollInterval{3000};
  static constexpr std::chrono::milliseconds kFilePause{10};

  explicit CLoggThread(platform::Clock& clock = platform::SystemClock(),
                       std::chrono::milliseconds poll_interval = kPollInterval,
                       std::chrono::milliseconds file_pause = kFilePause);
  ~CLoggThread() override;

  uint32_t Run(uint32_t arg) override;
  // Called by the server object just before it starts this worker.
  void ClearImportedFlag() { imported_ = 0; }

  // One pass of the schedule: runs the night when it is due. True when a
  // night ran. Called by Run; tests call it directly on an unstarted worker.
  bool PollOnce();
  // One night's import for the install folder in the registry; failures
  // stay inside. Returns what the night did.
  struct NightResult {
    bool database_opened = false;
    std::string error;
    DailyImportStats daily;
    FilterImportResult filter;
    int64_t removed = 0;  // rows older than KeepDays days
  };
  NightResult ImportNight();

  int imported_flag() const { return imported_; }
  const std::string& current_user() const { return current_user_; }
  const std::string& current_address() const { return current_address_; }

 private:
  platform::Clock& clock_;
  const std::chrono::milliseconds poll_interval_;
  const std::chrono::milliseconds file_pause_;
  std::string current_user_;
  std::string current_address_;
  CSiteTable sites_;
  std::atomic<int> imported_{0};
};

#endif  // SERVER_LOGIMPORT_LOGG_THREAD_H_
