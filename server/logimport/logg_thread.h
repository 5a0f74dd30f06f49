// CLoggThread: the log importer. From the first poll of minute 00:00 local
// time it moves every log of the days before today from "Logs/" into the
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
// imported flag keeps a night from running twice in minute 00:00 and is
// cleared by the first poll outside that minute, so a long night never
// keeps the next one from starting.
#ifndef SERVER_LOGIMPORT_LOGG_THREAD_H_
#define SERVER_LOGIMPORT_LOGG_THREAD_H_

#include <atomic>
#include <chrono>
#include <string>

#include "platform/clock.h"
#include "server/base/cthread.h"
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
  // Called by the server object just before it starts this worker.
  void ClearImportedFlag() { imported_ = 0; }

  // One pass of the schedule: runs the night when it is due and no report
  // pass runs. True when a night ran. Called by Run; tests call it
  // directly on an unstarted worker.
  bool PollOnce();
  // One night's import for the install folder in the registry, its lines
  // written to the event log. Failures stay inside.
  NightSummary ImportNight();
  // The start-up care of the IP log and the size file (see above).
  void PrepareIpLog();

  int imported_flag() const { return imported_; }

 private:
  void PauseAfterCommitForTesting();

  NightlyImportGate& gate_;
  platform::Clock& clock_;
  const std::chrono::milliseconds poll_interval_;
  const std::chrono::milliseconds file_pause_;
  std::atomic<int> imported_{0};
  bool due_ = false;  // the night is due and has not run yet
};

#endif  // SERVER_LOGIMPORT_LOGG_THREAD_H_
