#include "tools/ledgerix/command_line.h"

#include <gtest/gtest.h>

#include "common/report_table.h"

namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, AcceptsTheReportLinesOnly) {
  // Every line the scheduler sends is a report of the entry's kind and period.
  std::string usage = LedgerixUsage();
  ASSERT_EQ(usage.back(), '\n');
  usage.back() = ' ';
  for (const ReportEntry& report : ReportTable()) {
    SCOPED_TRACE(report.name);
    auto command = ParseLedgerixCommand(report.ledgerix_args);
    ASSERT_TRUE(command.has_value());
    EXPECT_EQ(command->mode, report.kind == ReportKind::kActivity ? LedgerixMode::kActivityReport
                                                                  : LedgerixMode::kFilterReport);
    EXPECT_EQ(command->period, report.period);
    std::string line;
    for (const std::string& arg : report.ledgerix_args) line += " " + arg;
    EXPECT_NE(usage.find("|" + line + " "), std::string::npos) << usage;
    EXPECT_EQ(FindReportEntry(report.ledgerix_args), &report);  // no two share a line
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
