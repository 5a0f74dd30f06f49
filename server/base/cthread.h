// Thread base of every worker: one object owns one thread running Run.
//
// Stopping is cooperative: Stop sets a flag, wakes the worker from
// SleepFor (and calls OnStopRequested so a worker blocked elsewhere can be
// woken), then joins. RequestStop does the same without joining, so that an
// owner can ask all its workers first and then wait for each. A derived
// class must call Stop in its own destructor, before its members go away.
// Start, RequestStop and Stop are called from the owning thread only.
#ifndef SERVER_BASE_CTHREAD_H_
#define SERVER_BASE_CTHREAD_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class CThread {
 public:
  static constexpr uint32_t kStillActive = 259;

  CThread() = default;
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;
  virtual ~CThread();

  virtual uint32_t Run(uint32_t arg);
  virtual void BeforeRun() {}
  virtual void AfterRun() {}

  void Start(uint32_t arg);
  // Each does nothing when the thread was never started or is already
  // stopped; RequestStop calls OnStopRequested once per stop.
  void RequestStop();
  void Stop();

  bool started() const { return thread_.joinable(); }
  uint32_t exit_code() const { return exit_code_; }
  bool StopRequested() const;
  // Ends the worker's current SleepFor early, or its next one when it is
  // not sleeping; from any thread.
  void Wake();

 protected:
  // Sleeps `duration`, until a stop is requested, or until woken; false
  // when stopping.
  bool SleepFor(std::chrono::milliseconds duration);
  // Called by Stop after the flag is set, on the stopping thread.
  virtual void OnStopRequested() {}

 private:
  void ThreadRoutine();

  std::thread thread_;
  uint32_t run_arg_ = 0;
  uint32_t exit_code_ = 0;
  mutable std::mutex mu_;
  std::condition_variable wake_;
  bool stop_requested_ = false;  // guarded by mu_
  bool woken_ = false;           // guarded by mu_
};

#endif  // SERVER_BASE_CTHREAD_H_
