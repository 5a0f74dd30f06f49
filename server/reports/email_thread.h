// EmailThread: the report scheduler. Every 3 seconds it reads its
// configuration; at the first pass at or after the hour named by
// "ReportTime" on each local date it has the database tool write each
// enabled report into "dbdata" in the install folder and sends it with
// Notivo, once per date (DayMark): an hour that daylight saving skips sends
// at the next pass, and a clock set back over the hour sends nothing again.
// A start after the hour sends nothing that day (the batch may have gone
// before the start). Each report the tool produced is also kept under
// "reports/" in the install folder.
//
// Owned by MainThread; Start and Stop are called from the owner's thread.
// The pass runs on the worker's own thread. The programs it starts run in
// the install folder; the process's current folder stays as it was.
#ifndef SERVER_REPORTS_EMAIL_THREAD_H_
#define SERVER_REPORTS_EMAIL_THREAD_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "common/report_table.h"
#include "platform/clock.h"
#include "server/base/cthread.h"
#include "server/base/day_mark.h"
#include "server/base/nightly_import_gate.h"
#include "server/reports/report_config.h"

class EmailThread final : public CThread {
 public:
  // `gate` keeps the report passes and the nightly import apart: a pass
  // that finds the import running or due waits for the next pass.
  explicit EmailThread(NightlyImportGate& gate, platform::Clock& clock = platform::SystemClock());
  ~EmailThread() override;

  uint32_t Run(uint32_t arg) override;

  // One pass of the loop without its sleep, on the calling thread; only
  // while the worker thread is not running.
  void RunPassForTesting() { RunPass(); }
  // The local date (platform::DayNumber) of the last batch, or -1.
  int64_t sent_day() const { return sent_day_; }

 private:
  void RunPass();
  void RunBatch(const ReportConfig& config, int64_t now);
  // Saves a produced report under the install folder (see kept_reports.h);
  // a failure costs one event-log line and nothing else. `sent`: Notivo sent
  // it (the index marks the others).
  void Keep(const ReportEntry& report, const std::string& folder, const std::string& report_file,
            int64_t now, bool sent);

  NightlyImportGate& gate_;
  platform::Clock& clock_;
  DayMark batches_;                    // the date of the last batch; the pass's own
  std::atomic<int64_t> sent_day_{-1};  // the same, for tests between passes
};

#endif  // SERVER_REPORTS_EMAIL_THREAD_H_
