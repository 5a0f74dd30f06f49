#include "server/intake/agent_networks.h"

#include <gtest/gtest.h>

#include "common/ipv4_address.h"
#include "platform/test_support.h"
#include "server/base/event_log_capture.h"

namespace {

class AgentNetworksTest : public testing::Test {
 protected:
  void SetNetworks(const std::string& value) {
    std::string error;
    ASSERT_TRUE(registry_.WriteSettings("\"AgentNetworks\"=\"" + value + "\"\r\n", &error))
        << error;
  }
  bool Allows(const char* address) { return networks_.Allows(ParseIpv4Address(address)); }

  ScopedRegistryFile registry_;
  EventLogCapture log_;
  platform::FakeClock clock_{1700000000};
  AgentNetworks networks_{clock_};
};

TEST_F(AgentNetworksTest, FollowsTheValueWithinSecondsAndFailsClosed) {
  // Missing, then empty: everyone, also an unknown peer.
  EXPECT_TRUE(Allows("203.0.113.9"));
  EXPECT_TRUE(networks_.Allows(std::nullopt));
  SetNetworks("");
  clock_.Advance(AgentNetworks::kRefreshSeconds);
  EXPECT_TRUE(Allows("203.0.113.9"));

  SetNetworks("192.168.0.0/16, 10.1.0.0/24");
  EXPECT_TRUE(Allows("203.0.113.9"));  // not read again yet
  clock_.Advance(AgentNetworks::kRefreshSeconds);
  EXPECT_FALSE(Allows("203.0.113.9"));
  EXPECT_TRUE(Allows("192.168.4.5"));
  EXPECT_TRUE(Allows("10.1.0.200"));
  EXPECT_FALSE(Allows("10.1.1.1"));
  EXPECT_FALSE(networks_.Allows(std::nullopt));

  // A list that does not parse: no one, said once however long it lasts.
  SetNetworks("192.168.0.0/16,10.1.0.0/33");
  clock_.Advance(AgentNetworks::kRefreshSeconds);
  EXPECT_FALSE(Allows("192.168.4.5"));
  SetNetworks("still wrong");
  clock_.Advance(AgentNetworks::kRefreshSeconds);
  EXPECT_FALSE(Allows("192.168.4.5"));
  ASSERT_EQ(log_.lines().size(), 1u);
  EXPECT_EQ(log_.lines()[0],
            "AgentNetworks \"192.168.0.0/16,10.1.0.0/33\" cannot be read: no agent is heard until "
            "it is fixed");

  SetNetworks("192.168.0.0/16");
  clock_.Set(0);  // a clock set back reads at once
  EXPECT_TRUE(Allows("192.168.4.5"));
  EXPECT_EQ(log_.lines().size(), 2u);
}

}  // namespace
