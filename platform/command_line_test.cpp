#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLineTest, FollowsTheCRuntimeRules) {
  EXPECT_EQ(SplitCommandLine("ledgerix 6 \"alice\" \"PC-7\" 192.168.0.7"),
            (Args{"ledgerix", "6", "alice", "PC-7", "192.168.0.7"}));
  EXPECT_EQ(SplitCommandLine("ledgerix 6 \"\" \"\" "), (Args{"ledgerix", "6", "", ""}));
  EXPECT_EQ(SplitCommandLine("  a\t\tb  "), (Args{"a", "b"}));
  EXPECT_EQ(SplitCommandLine(""), Args{});
  EXPECT_EQ(SplitCommandLine("\"a b\"c d"), (Args{"a bc", "d"}));
  // 2n backslashes before a quote: n backslashes, quote toggles.
  EXPECT_EQ(SplitCommandLine(R"(a\\"b c" d)"), (Args{R"(a\b c)", "d"}));
  // 2n+1: n backslashes and a literal quote.
  EXPECT_EQ(SplitCommandLine(R"(a\\\"b c)"), (Args{R"(a\"b)", "c"}));
  // Backslashes not before a quote are literal.
  EXPECT_EQ(SplitCommandLine(R"(C:\dir\x y\\)"), (Args{R"(C:\dir\x)", R"(y\\)"}));
  // An open quote runs to the end.
  EXPECT_EQ(SplitCommandLine("a \"b c"), (Args{"a", "b c"}));
}

TEST(QuoteArgumentTest, SplitsBackUnchanged) {
  const Args awkward = {"plain",  "",         "two words", "tab\there", "q\"uote",
                        "\"",     "\\",       "trail\\",   "\\\\\"",    "a\\\\b",
                        "end \\", "\r\nline", "x\\\"y\\\\"};
  std::string line = "prog";
  for (const std::string& a : awkward) line += " " + QuoteArgument(a);
  Args expected = {"prog"};
  expected.insert(expected.end(), awkward.begin(), awkward.end());
  EXPECT_EQ(SplitCommandLine(line), expected);
  EXPECT_EQ(QuoteArgument("alice"), "alice");
}

}  // namespace
}  // namespace platform
