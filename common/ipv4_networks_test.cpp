#include "common/ipv4_networks.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/ipv4_address.h"

namespace {

uint32_t Address(const char* text) { return ParseIpv4Address(text).value(); }

TEST(Ipv4AddressTest, OnlyPlainDottedQuadsParse) {
  EXPECT_EQ(ParseIpv4Address("192.168.0.7"), 0xC0A80007u);
  EXPECT_EQ(ParseIpv4Address("0.0.0.0"), 0u);
  EXPECT_EQ(ParseIpv4Address("255.255.255.255"), 0xFFFFFFFFu);
  for (const char* bad :
       {"", "1.2.3", "1.2.3.4.", "1.2.3.4.5", "256.1.1.1", "1.2.3.-4", " 1.2.3.4", "1.2.3.4 ",
        "010.1.1.1", "1..2.3", "0x7f.0.0.1", "2130706433", "a.b.c.d", "1.2.3.1000"}) {
    EXPECT_EQ(ParseIpv4Address(bad), std::nullopt) << bad;
  }
  for (const char* text : {"127.0.0.1", "10.200.3.45", "0.0.0.0", "255.255.255.255"})
    EXPECT_EQ(FormatIpv4Address(Address(text)), text);
}

TEST(Ipv4NetworksTest, ListsParseAndMatchTheirAddresses) {
  auto list = ParseIpv4Networks(" 192.168.0.0/16, 10.1.0.0/24,127.0.0.1 ,0.0.0.0/0");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 4u);
  EXPECT_TRUE((*list)[0].Contains(Address("192.168.255.1")));
  EXPECT_FALSE((*list)[0].Contains(Address("192.169.0.1")));
  EXPECT_TRUE((*list)[1].Contains(Address("10.1.0.255")));
  EXPECT_FALSE((*list)[1].Contains(Address("10.1.1.0")));
  EXPECT_TRUE((*list)[2].Contains(Address("127.0.0.1")));
  EXPECT_FALSE((*list)[2].Contains(Address("127.0.0.2")));
  EXPECT_TRUE((*list)[3].Contains(Address("8.8.8.8")));
  EXPECT_EQ(ParseIpv4Networks("10.0.0.0/32").value().at(0).mask, 0xFFFFFFFFu);
  EXPECT_EQ(ParseIpv4Networks("").value().size(), 0u);
  EXPECT_EQ(ParseIpv4Networks("  ").value().size(), 0u);
}

TEST(Ipv4NetworksTest, AnyBadItemRefusesTheWholeList) {
  for (const char* bad :
       {"10.1.2.3/16", "10.0.0.0/33", "10.0.0.0/", "10.0.0.0/08", "10.0.0.0/-1", "10.0.0.0/8,",
        ",10.0.0.0/8", "10.0.0.0/8,,11.0.0.0/8", "10.0.0.0/8;11.0.0.0/8", "10.0.0/8", "example.com",
        "10.0.0.0/8 11.0.0.0/8", "10.0.0.0 /8"}) {
    EXPECT_EQ(ParseIpv4Networks(bad), std::nullopt) << bad;
  }
}

}  // namespace
