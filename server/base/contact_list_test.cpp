#include "server/base/contact_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Rows(std::string_view output) {
  std::vector<std::string> out;
  for (const IpLogRow& r : ParseContactList(output)) {
    out.push_back(r.user + "|" + r.ip + "|" + r.computer + "|" + r.status);
  }
  return out;
}

using V = std::vector<std::string>;

TEST(ParseContactListTest, RowsOfTheToolsList) {
  EXPECT_EQ(Rows("bob,10.0.0.2,PC-2,1\r\nann,10.0.0.3,PC-3,0\r\n"),
            (V{"bob|10.0.0.2|PC-2|1", "ann|10.0.0.3|PC-3|0"}));
  EXPECT_EQ(Rows(""), V{});
  EXPECT_EQ(Rows("bob,10.0.0.2,PC-2,1"), V{});  // no line feed: not written
  EXPECT_EQ(Rows("a,b,c,1\nlast,line,no,lf"), V{"a|b|c|1"});
}

TEST(ParseContactListTest, SeparatorsAndBlanks) {
  // Everything after the third comma, commas included, is the fourth value.
  EXPECT_EQ(Rows("a,b,c,d,e,,f\n"), V{"a|b|c|d,e,,f"});
  // Trailing blanks of the fourth value go; blanks in the others stay.
  EXPECT_EQ(Rows("a ,b , c,1 \t\v\f\r\n"), V{"a |b | c|1"});
  // Runs of commas and leading commas count as one separator.
  EXPECT_EQ(Rows(",,a,,,b,c,,1\n"), V{"a|b|c|,1"});
  EXPECT_EQ(Rows("a,b,c,\n"), V{"a|b|c|"});
  EXPECT_EQ(Rows("a,b,c,   \n"), V{"a|b|c|"});
}

TEST(ParseContactListTest, LinesWithTooFewCommasAreSkippedWhole) {
  EXPECT_EQ(Rows("a,b,c\nd,e,f,1\n"), V{"d|e|f|1"});
  EXPECT_EQ(Rows("a,,,,b\nx,y,z,0\n,,,\n\n"), V{"x|y|z|0"});
  EXPECT_EQ(Rows("only one line without enough commas\n"), V{});
}

TEST(ParseContactListTest, RowsThatOtherReadersWouldSplitOrFailOnAreSkippedWhole) {
  // A tab, NEL, U+2028, a lone byte that is not UTF-8, U+2029 in the status.
  EXPECT_EQ(Rows("a,b\t,c,1\nd,e\xc2\x85,f,1\ng,h,i\xe2\x80\xa8,0\nj\xff,k,l,0\n"
                 "m,n,o,1\xe2\x80\xa9\nJos\xc3\xa9,10.0.0.5,PC,1\r\n"),
            V{"Jos\xc3\xa9|10.0.0.5|PC|1"});
}

}  // namespace
