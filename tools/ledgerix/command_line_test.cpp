#include "tools/ledgerix/command_line.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, AcceptsTheReportLinesOnly) {
  struct Case {
    Args args;
    LedgerixMode mode;
    ReportPeriod period;
  };
  const Case cases[] = {
      {{"1", "1", "0", "0"}, LedgerixMode::kActivityReport, ReportPeriod::kPreviousDay},
      {{"1", "2", "2", "0"}, LedgerixMode::kActivityReport, ReportPeriod::kPreviousWeek},
      {{"1", "7", "2", "0"}, LedgerixMode::kActivityReport, ReportPeriod::kPreviousMonth},
      {{"4", "1"}, LedgerixMode::kFilterReport, ReportPeriod::kPreviousDay},
      {{"4", "2"}, LedgerixMode::kFilterReport, ReportPeriod::kPreviousWeek},
      {{"4", "7"}, LedgerixMode::kFilterReport, ReportPeriod::kPreviousMonth},
  };
  for (const Case& c : cases) {
    auto command = ParseLedgerixCommand(c.args);
    ASSERT_TRUE(command.has_value()) << c.args[0] << " " << c.args[1];
    EXPECT_EQ(command->mode, c.mode);
    EXPECT_EQ(command->period, c.period);
  }
  const Args rejected[] = {{},
                           {"1"},
                           {"1", "1", "0"},
                           {"1", "1", "0", "0", "0"},
                           {"1", "2", "0", "0"},
                           {"1", "01", "0", "0"},
                           {"4", "3"},
                           {"4", "1", "0"},
                           {"7", "x"},
                           {"6", "alice", "PC-7"},
                           {"6", "alice", "PC-7", "10.0.0.7", "x"},
                           {"5"},
                           {" 7"}};
  for (const Args& args : rejected) {
    EXPECT_FALSE(ParseLedgerixCommand(args).has_value()) << args.size();
  }
}

}  // namespace
