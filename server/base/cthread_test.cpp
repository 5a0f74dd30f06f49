#include "server/base/cthread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Records the order of its hooks and of its sleeps, and sleeps until stopped.
class RecordingThread final : public CThread {
 public:
  ~RecordingThread() override { Stop(); }

  void BeforeRun() override { Record("before"); }
  uint32_t Run(uint32_t arg) override {
    Record("run " + std::to_string(arg));
    while (SleepFor(24h)) Record("slept");
    Record("woken");
    return 7;
  }
  void AfterRun() override { Record("after"); }

  std::vector<std::string> events() {
    std::lock_guard<std::mutex> lock(mu_);
    return events_;
  }
  bool WaitForEvents(size_t count) {
    std::unique_lock<std::mutex> lock(mu_);
    return changed_.wait_for(lock, 10s, [&] { return events_.size() >= count; });
  }

 private:
  void Record(const std::string& event) {
    std::lock_guard<std::mutex> lock(mu_);
    events_.push_back(event);
    changed_.notify_all();
  }

  std::mutex mu_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
};

// Blocks on a wait of its own that only OnStopRequested ends, like a
// worker blocked in a system call.
class BlockedThread final : public CThread {
 public:
  ~BlockedThread() override { Stop(); }

  uint32_t Run(uint32_t) override {
    std::unique_lock<std::mutex> lock(mu_);
    running_ = true;
    cv_.notify_all();
    cv_.wait(lock, [&] { return released_; });
    return 0;
  }
  void WaitUntilRunning() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [&] { return running_; });
  }

 protected:
  void OnStopRequested() override {
    std::lock_guard<std::mutex> lock(mu_);
    released_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool running_ = false;
  bool released_ = false;
};

TEST(CThreadTest, RunsHooksInOrderAndStopWakesTheSleepingWorker) {
  RecordingThread thread;
  thread.Start(3);
  EXPECT_TRUE(thread.started());
  EXPECT_EQ(thread.exit_code(), 0xFFFFFFFFu);
  thread.WaitForEvents(2);
  // The worker sleeps for a day; only the stop can end it.
  thread.Stop();
  EXPECT_FALSE(thread.started());
  EXPECT_EQ(thread.events(), (std::vector<std::string>{"before", "run 3", "woken", "after"}));
  EXPECT_EQ(thread.exit_code(), CThread::kStillActive);
}

TEST(CThreadTest, WakeEndsOneSleepAndTheWorkerGoesOn) {
  RecordingThread thread;
  thread.Start(1);
  ASSERT_TRUE(thread.WaitForEvents(2));
  thread.Wake();
  ASSERT_TRUE(thread.WaitForEvents(3));
  thread.Stop();
  EXPECT_EQ(thread.events(),
            (std::vector<std::string>{"before", "run 1", "slept", "woken", "after"}));
}

TEST(CThreadTest, StopWithoutStartAndSecondStopDoNothing) {
  RecordingThread never_started;
  never_started.Stop();
  EXPECT_FALSE(never_started.started());
  EXPECT_TRUE(never_started.events().empty());
  EXPECT_EQ(never_started.exit_code(), 0u);

  RecordingThread thread;
  thread.Start(0);
  thread.WaitForEvents(2);
  thread.Stop();
  thread.Stop();
  EXPECT_EQ(thread.events().size(), 4u);
}

TEST(CThreadTest, CanStartAgainAfterStop) {
  RecordingThread thread;
  thread.Start(1);
  thread.WaitForEvents(2);
  thread.Stop();
  thread.Start(2);
  thread.WaitForEvents(6);
  EXPECT_FALSE(thread.StopRequested());
  thread.Stop();
  EXPECT_EQ(thread.events(), (std::vector<std::string>{"before", "run 1", "woken", "after",
                                                       "before", "run 2", "woken", "after"}));
}

TEST(CThreadTest, StopCallsTheHookThatReleasesAWorkerBlockedElsewhere) {
  BlockedThread thread;
  thread.Start(0);
  thread.WaitUntilRunning();
  thread.Stop();
  EXPECT_FALSE(thread.started());
}

}  // namespace
