#include "server/service/service_module.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>
#include <vector>

#include "server/base/event_log.h"
#include "server/base/event_log_capture.h"

namespace {

using namespace std::chrono_literals;

// Stands for the server object: counts its starts and stops.
class FakeServer final : public CThread {
 public:
  ~FakeServer() override { Stop(); }
  uint32_t Run(uint32_t) override {
    ++runs_;
    return 0;
  }
  int runs() const { return runs_; }

 private:
  std::atomic<int> runs_{0};
};

class ServiceModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("NOTIFY_SOCKET");  // status reports go nowhere
    module_.Init();
    module_.SetServerThread(&server_);
  }
  void TearDown() override { SetEventLogServiceMode(false); }
  EventLogCapture log_;
  FakeServer server_;
  CServiceModule module_;
};

TEST_F(ServiceModuleTest, ControlCodesOtherThanStopChangeNothing) {
  for (uint32_t code : {2u, 3u, 4u, 5u}) module_.ControlHandler(code);
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(module_.status().current_state, ServiceStatus::kStopped);

  module_.ControlHandler(0);
  module_.ControlHandler(6);
  module_.ControlHandler(200);
  EXPECT_EQ(log_.lines(), (std::vector<std::string>(3, "Bad service request")));
}

TEST_F(ServiceModuleTest, QuitPostedBeforeTheLoopIsDroppedButAStopIsHeld) {
  // The configuration check's quit finds no control loop and is lost...
  EXPECT_FALSE(module_.PostQuitMessage());
  // ...but a stop request waits for the loop and ends it as soon as it runs.
  module_.ControlHandler(kControlStop);
  EXPECT_EQ(module_.status().current_state, ServiceStatus::kStopPending);
  std::thread service([this] { module_.ServiceEntry(); });
  service.join();
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"Service started", "Service stopped"}));
  EXPECT_EQ(module_.status().current_state, ServiceStatus::kStopped);
  EXPECT_EQ(server_.runs(), 1);
  EXPECT_FALSE(server_.started());
}

TEST_F(ServiceModuleTest, StopDuringTheLoopEndsItAndReportsStopped) {
  std::thread service([this] { module_.ServiceEntry(); });
  // Wait until the loop runs (it reports running), then stop it.
  while (module_.status().current_state != ServiceStatus::kRunning) {
    std::this_thread::sleep_for(1ms);
  }
  module_.ControlHandler(kControlStop);
  service.join();
  EXPECT_EQ(module_.status().current_state, ServiceStatus::kStopped);
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"Service started", "Service stopped"}));
  EXPECT_FALSE(server_.started());
}

TEST_F(ServiceModuleTest, OrdinaryLoopEndsOnAPostedQuitMessage) {
  module_.SetServiceMode(false);
  std::thread loop([this] { module_.RunControlLoop(); });
  while (!module_.PostQuitMessage()) std::this_thread::sleep_for(1ms);
  loop.join();
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"Service started"}));
  // No status is kept outside service mode.
  EXPECT_EQ(module_.status().current_state, ServiceStatus::kStopped);
}

TEST(LocalServiceValueTest, OnlyAnEmptyOrProperlyEndedStringSelectsServiceMode) {
  using platform::RegValue;
  auto value = [](uint32_t type, std::string data) {
    RegValue v;
    v.type = type;
    v.data = std::move(data);
    return std::optional<RegValue>(v);
  };
  EXPECT_FALSE(IsLocalServiceValue(std::nullopt));
  EXPECT_TRUE(IsLocalServiceValue(RegValue::String("Orbeline")));
  EXPECT_TRUE(IsLocalServiceValue(value(platform::kRegBinary, "")));
  EXPECT_TRUE(IsLocalServiceValue(value(platform::kRegExpandSz, std::string("x\0", 2))));
  EXPECT_TRUE(IsLocalServiceValue(value(platform::kRegMultiSz, std::string("a\0\0", 3))));
  EXPECT_FALSE(IsLocalServiceValue(value(platform::kRegMultiSz, std::string("a\0", 2))));
  EXPECT_FALSE(IsLocalServiceValue(value(platform::kRegSz, "unterminated")));
  EXPECT_FALSE(IsLocalServiceValue(RegValue::Dword(0)));
  EXPECT_TRUE(IsLocalServiceValue(RegValue::String(std::string(259, 'a'))));
  EXPECT_FALSE(IsLocalServiceValue(RegValue::String(std::string(260, 'a'))));
}

}  // namespace
