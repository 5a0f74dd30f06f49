// EmailThread: the report scheduler. Every 3 seconds it reads its
// configuration; at the first pass in the hour named by "ReportTime" it has
// the database tool write each enabled report into "dbdata" in the install
// folder and sends it with Notivo, once per report hour. Each report the
// tool produced is also kept under "reports/" in the install folder.
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
  bool sent_this_hour() const { return sentThisHour == 1; }

 private:
  void RunPass();
  void RunBatch(const ReportConfig& config, int64_t now);
  // Saves a produced report under the install folder (see kept_reports.h);
  // a failure costs one event-log line and nothing else.
  void Keep(const ReportEntry& report, const std::string& folder, const std::string& report_file,
            int64_t now);

  NightlyImportGate& gate_;
  platform::Clock& clock_;
  // 1 once this report hour's batch has run, until a pass outside the hour.
  // Written by the pass; read by tests between passes.
  std::atomic<int32_t> sentThisHour{0};
};

#endif  // SERVER_REPORTS_EMAIL_THREAD_H_
