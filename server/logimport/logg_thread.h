// CLoggThread: the log importer. At its first poll on each new local date
// (once per date, whatever hour that poll falls in: where daylight saving
// skips midnight it is 01:00) it moves every log of the days before today from "Logs/" into the
// activity database "webfilter.dbs" (see RunNightlyImport), removes rows
// older than KeepDays days, refreshes the IP log and the size file from the
// database tool's list (as the request worker does) and writes the night's
// line to the event log.
// Only this worker writes the database; everything below Run happens on
// its thread.
//
// At start it removes temporary files that a killed rewrite of the IP log
// or the size file left behind, and writes both from the tool's list when
// either is missing and the tool has contacts or a database to list.
//
// The night waits while a report pass runs and keeps report passes back
// while it runs (NightlyImportGate, shared with the e-mail worker). The
// date of the last night (DayMark) keeps a night from running twice for
// one date, also when the clock is set back past midnight; a start runs
// no night unless it falls in minute 00:00.
#ifndef SERVER_LOGIMPORT_LOGG_THREAD_H_
#define SERVER_LOGIMPORT_LOGG_THREAD_H_

#include <atomic>
#include <chrono>
#include <string>

#include "platform/clock.h"
#include "server/base/cthread.h"
#include "server/base/day_mark.h"
#include "server/base/nightly_import_gate.h"
#include "server/logimport/night_summary.h"

class CLoggThread final : public CThread {
 public:
  static constexpr std::chrono::milliseconds kPollInterval{3000};
  static constexpr std::chrono::milliseconds kFilePause{10};
  // Tests only: milliseconds to wait after each commit of the import,
  // before the committed logs are deleted, so a test can kill the process
  // in that window.
  static constexpr const char* kPauseAfterCommitVariable =
      "QUORVANE_PAUSE_AFTER_COMMIT_MS_FOR_TESTING";

  explicit CLoggThread(NightlyImportGate& gate, platform::Clock& clock = platform::SystemClock(),
                       std::chrono::milliseconds poll_interval = kPollInterval,
                       std::chrono::milliseconds file_pause = kFilePause);
  ~CLoggThread() override;

  uint32_t Run(uint32_t arg) override;

  // One pass of the schedule: runs the night when it is due and no report
  // pass runs. True when a night ran. Called by Run; tests call it
  // directly on an unstarted worker.
  bool PollOnce();
  // One night's import for the install folder in the registry, its lines
  // written to the event log. Failures stay inside.
  NightSummary ImportNight();
  // The start-up care of the IP log and the size file (see above).
  void PrepareIpLog();

  // The local date (platform::DayNumber) of the last night run, or -1.
  int64_t imported_day() const { return imported_day_; }

 private:
  void PauseAfterCommitForTesting();

  NightlyImportGate& gate_;
  platform::Clock& clock_;
  const std::chrono::milliseconds poll_interval_;
  const std::chrono::milliseconds file_pause_;
  DayMark nights_;                         // the date of the last night; the poll's own
  std::atomic<int64_t> imported_day_{-1};  // the same, for tests between polls
};

#endif  // SERVER_LOGIMPORT_LOGG_THREAD_H_
