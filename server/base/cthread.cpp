#include "server/base/cthread.h"

CThread::~CThread() { Stop(); }

uint32_t CThread::Run(uint32_t) { return exit_code_; }

void CThread::Start(uint32_t arg) {
  if (thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_requested_ = false;
    woken_ = false;
  }
  run_arg_ = arg;
  exit_code_ = 0xFFFFFFFF;
  thread_ = std::thread(&CThread::ThreadRoutine, this);
}

void CThread::ThreadRoutine() {
  BeforeRun();
  Run(run_arg_);
  AfterRun();
}

void CThread::RequestStop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (stop_requested_) return;
    stop_requested_ = true;
  }
  wake_.notify_all();
  OnStopRequested();
}

void CThread::Stop() {
  if (!thread_.joinable()) return;
  RequestStop();
  thread_.join();
  exit_code_ = kStillActive;  // what the thread routine returns
}

bool CThread::StopRequested() const {
  std::lock_guard<std::mutex> lock(mu_);
  return stop_requested_;
}

void CThread::Wake() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    woken_ = true;
  }
  wake_.notify_all();
}

bool CThread::SleepFor(std::chrono::milliseconds duration) {
  std::unique_lock<std::mutex> lock(mu_);
  wake_.wait_for(lock, duration, [this] { return stop_requested_ || woken_; });
  woken_ = false;
  return !stop_requested_;
}
