#include "server/intake/srv_socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/local_client_for_testing.h"
#include "platform/socket.h"
#include "server/base/event_log_capture.h"

namespace {

using namespace std::chrono_literals;

std::string Report(const std::string& user) { return "<user>" + user + "</user>\n"; }

bool WaitUntil(const std::function<bool()>& condition) {
  for (auto end = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < end;) {
    if (condition()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return condition();
}

class SrvSocketTest : public testing::Test {
 protected:
  // A listener on a port the system picks.
  std::unique_ptr<CSrvSocket> StartListener(SrvSocketOptions options = {}) {
    options.port = 0;
    auto listener = std::make_unique<CSrvSocket>(clock_, options);
    listener->Start(0);
    EXPECT_TRUE(WaitUntil([&] { return listener->listening_port() != 0; }));
    return listener;
  }

  EventLogCapture log_;
  platform::FakeClock clock_{1700000000};
};

TEST(SrvSocketPortTest, LowSixteenBitsWithDefault) {
  EXPECT_EQ(CSrvSocket::PortFromRegistryValue(0), 8585);
  EXPECT_EQ(CSrvSocket::PortFromRegistryValue(65536), 8585);
  EXPECT_EQ(CSrvSocket::PortFromRegistryValue(65536 + 80), 80);
  EXPECT_EQ(CSrvSocket::PortFromRegistryValue(0x2183), 8579);
  EXPECT_EQ(CSrvSocket::PortFromRegistryValue(0xFFFFFFFF), 65535);
}

TEST_F(SrvSocketTest, QueuesTextsWithALineFeedAsReceived) {
  auto listener = StartListener();
  uint16_t port = listener->listening_port();
  ASSERT_TRUE(platform::SendToLocalPort(port, "no line feed"));
  ASSERT_TRUE(platform::SendToLocalPort(port, ""));
  ASSERT_TRUE(platform::SendToLocalPort(port, std::string("a\0b\n", 4)));
  ASSERT_TRUE(platform::SendToLocalPort(port, std::string("<user>one</user>\ntwo\n\0three", 27)));
  ASSERT_TRUE(platform::SendToLocalPort(port, "<user>last</user>\r\n"));
  ASSERT_TRUE(WaitUntil([&] { return listener->queue().size() == 2; }));
  RequestEntry first = listener->queue().Pop();
  EXPECT_EQ(first.text, "<user>one</user>\ntwo\n");
  EXPECT_EQ(first.time, 1700000000);
  EXPECT_EQ(listener->queue().Pop().text, "<user>last</user>\r\n");
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(SrvSocketTest, StopWakesTheListenerWhereverItWaits) {
  auto idle = StartListener();
  idle->Stop();  // waiting in accept
  EXPECT_EQ(idle->listening_port(), 0);

  SrvSocketOptions patient;
  patient.receive_timeout = std::chrono::minutes(10);
  auto busy = StartListener(patient);
  int silent = platform::OpenSilentConnection(busy->listening_port());
  ASSERT_GE(silent, 0);
  std::this_thread::sleep_for(50ms);  // let it reach the receive; either way it must wake
  busy->Stop();                       // would hang for ten minutes if the receive ignored it
  EXPECT_EQ(busy->listening_port(), 0);
  platform::CloseConnection(silent);
}

TEST_F(SrvSocketTest, ASilentConnectionIsDroppedAfterTheTimeLimit) {
  SrvSocketOptions quick;
  quick.receive_timeout = 200ms;
  auto listener = StartListener(quick);
  int silent = platform::OpenSilentConnection(listener->listening_port());
  ASSERT_TRUE(platform::SendToLocalPort(listener->listening_port(), "<user>after</user>\n"));
  ASSERT_TRUE(WaitUntil([&] { return !listener->queue().IsEmpty(); }));
  EXPECT_EQ(listener->queue().Pop().text, "<user>after</user>\n");
  platform::CloseConnection(silent);
}

TEST_F(SrvSocketTest, SilentConnectionsHoldUpNobodyUpToThePeersCap) {
  SrvSocketOptions patient;
  patient.receive_timeout = std::chrono::minutes(10);  // served one by one, this would hang
  patient.max_per_peer = 3;
  auto listener = StartListener(patient);
  uint16_t port = listener->listening_port();
  std::vector<int> silent;
  for (int i = 0; i < 2; ++i) silent.push_back(platform::OpenSilentConnection(port));
  ASSERT_TRUE(platform::SendToLocalPort(port, Report("first")));
  ASSERT_TRUE(WaitUntil([&] { return listener->queue().size() == 1; }));
  silent.push_back(platform::OpenSilentConnection(port));
  // Three are open from this address: the next is closed unread.
  ASSERT_TRUE(platform::SendToLocalPort(port, Report("refused")));
  ASSERT_TRUE(platform::SendToLocalPort(port, Report("refused too")));
  ASSERT_EQ(log_.lines().size(), 1u);
  EXPECT_EQ(log_.lines()[0],
            "Agent connection from 127.0.0.1 refused: 3 connections from that address are open (1 "
            "refused since start; more are only counted until none comes for 60 s)");
  platform::CloseConnection(silent.back());
  silent.pop_back();
  ASSERT_TRUE(WaitUntil([&] {
    platform::SendToLocalPort(port, Report("second"));  // an equal one waiting is not queued
    return listener->queue().size() == 2;
  }));
  EXPECT_EQ(listener->queue().Pop().text, Report("first"));
  EXPECT_EQ(listener->queue().Pop().text, Report("second"));
  for (int fd : silent) platform::CloseConnection(fd);
}

TEST_F(SrvSocketTest, AFullQueueDropsReportsButTheListenerGoesOn) {
  SrvSocketOptions small;
  small.queue_max_entries = 3;
  auto listener = StartListener(small);
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(platform::SendToLocalPort(listener->listening_port(), Report(std::to_string(i))));
  }
  EXPECT_EQ(listener->queue().size(), 3u);
  EXPECT_EQ(listener->queue().dropped(), 7u);
  EXPECT_EQ(log_.lines().size(), 1u);
  EXPECT_EQ(listener->queue().Pop().text, Report("0"));
  ASSERT_TRUE(platform::SendToLocalPort(listener->listening_port(), Report("later")));
  ASSERT_TRUE(WaitUntil([&] { return listener->queue().size() == 3; }));
  listener->queue().Pop();
  listener->queue().Pop();
  EXPECT_EQ(listener->queue().Pop().text, Report("later"));
}

}  // namespace
