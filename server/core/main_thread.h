// MainThread: the server object. Owns the five workers; its thread starts
// them in order and ends. Destruction stops the workers (listener, request
// worker, e-mail worker, log importer, monitor) before their members go away.
// Constructed and destroyed on the process's main thread.
#ifndef SERVER_CORE_MAIN_THREAD_H_
#define SERVER_CORE_MAIN_THREAD_H_

#include <functional>

#include "server/base/cthread.h"
#include "server/base/nightly_import_gate.h"
#include "server/intake/srv_socket.h"
#include "server/logimport/logg_thread.h"
#include "server/monitoring/monitor_thread.h"
#include "server/processing/log_manager_thread.h"
#include "server/reports/email_thread.h"

class MainThread final : public CThread {
 public:
  // `post_quit_message` is what the configuration check calls after each
  // of its messages (the service module's PostQuitMessage); may be empty.
  explicit MainThread(std::function<void()> post_quit_message = {});
  ~MainThread() override;

  uint32_t Run(uint32_t arg) override;

  CSrvSocket& listener() { return listener_; }

 private:
  void CheckConfiguration();
  void PostQuitMessage();

  std::function<void()> post_quit_message_;

  // Shared by the log importer and the e-mail worker; outlives both.
  NightlyImportGate nightly_import_gate_;
  CSrvSocket listener_;
  CLogManagerThread request_processor_;
  CLoggThread log_importer_;
  EmailThread email_worker_;
  CMonitorThread monitor_;
};

#endif  // SERVER_CORE_MAIN_THREAD_H_
