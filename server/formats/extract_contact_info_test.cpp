#include "server/formats/extract_contact_info.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Contact {
  std::string user = "u0", computer = "c0", ip = "i0";
  int found = -1;
};

Contact Extract(const std::string& text) {
  Contact c;
  c.found = ExtractContactInfo(text, c.user, c.computer, c.ip);
  return c;
}

TEST(ExtractContactInfoTest, WellFormedReport) {
  Contact c = Extract("<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\nrest");
  EXPECT_EQ(c.found, 3);
  EXPECT_EQ(c.user, "alice");
  EXPECT_EQ(c.computer, "PC-7");
  EXPECT_EQ(c.ip, "192.168.0.7");
  // Values are taken as they stand, blanks included; empty values are set.
  c = Extract("<user> a b </user><computer></computer><ip></ip>");
  EXPECT_EQ(c.found, 3);
  EXPECT_EQ(c.user, " a b ");
  EXPECT_EQ(c.computer, "");
  EXPECT_EQ(c.ip, "");
}

TEST(ExtractContactInfoTest, MissingTagsLeaveTheRestAsPassed) {
  Contact c = Extract("<user>");
  EXPECT_EQ(c.found, 0);
  EXPECT_EQ(c.user, "u0");
  c = Extract("");
  EXPECT_EQ(c.found, 0);
  c = Extract("<user>alice<computer>PC</computer><ip>1</ip>");
  EXPECT_EQ(c.found, 0);
  EXPECT_EQ(c.user, "u0");
  EXPECT_EQ(c.computer, "c0");
  c = Extract("<user>alice</user><computer>PC-7</computer>");
  EXPECT_EQ(c.found, 2);
  EXPECT_EQ(c.user, "alice");
  EXPECT_EQ(c.computer, "PC-7");
  EXPECT_EQ(c.ip, "i0");
  c = Extract("<user>alice</user><computer>PC-7");
  EXPECT_EQ(c.found, 1);
  EXPECT_EQ(c.computer, "c0");
}

TEST(ExtractContactInfoTest, OpeningsAreFixedWidthsReadUnchecked) {
  // The first six bytes go whatever they are.
  Contact c = Extract("alice-smith</user>0123456789PC</computer>xxxx10.0.0.1</ip>");
  EXPECT_EQ(c.found, 3);
  EXPECT_EQ(c.user, "smith");
  EXPECT_EQ(c.computer, "PC");
  EXPECT_EQ(c.ip, "10.0.0.1");
  // Fewer than 10 bytes after "</user>": all dropped, the next tag is lost.
  c = Extract("<user>bob</user>short");
  EXPECT_EQ(c.found, 1);
  EXPECT_EQ(c.user, "bob");
  // The 10 dropped bytes may swallow the computer's closing tag.
  c = Extract("<user>bob</user></computer><ip>x</ip>");
  EXPECT_EQ(c.found, 1);
  // Only the first closing tag after the opening counts.
  c = Extract("<user>a</user></user><computer>b</computer><ip>c</ip>");
  EXPECT_EQ(c.found, 3);
  EXPECT_EQ(c.user, "a");
  EXPECT_EQ(c.computer, "mputer>b");
}

}  // namespace
