#include "server/service/command_line.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLineTest, SwitchOnlyAsTheLastThingInAnyCaseAfterDashOrSlash) {
  struct Case {
    const char* line;
    ServiceSwitch expected;
  };
  const Case cases[] = {
      {"/opt/q/Orbeline -RegServer", ServiceSwitch::kRegServer},
      {"/opt/q/Orbeline /regserver", ServiceSwitch::kRegServer},
      {"/opt/q/Orbeline -UNREGSERVER", ServiceSwitch::kUnregServer},
      {"/opt/q/Orbeline /SeRvIcE", ServiceSwitch::kService},
      {"/opt/q/Orbeline -service", ServiceSwitch::kService},
      // Followed by a blank or another argument: no switch.
      {"/opt/q/Orbeline -Service x", ServiceSwitch::kNone},
      {"/opt/q/Orbeline -Service ", ServiceSwitch::kNone},
      {"/opt/q/Orbeline -RegServer -Service", ServiceSwitch::kService},
      {"/opt/q/Orbeline", ServiceSwitch::kNone},
      {"Orbeline Service", ServiceSwitch::kNone},
      {"", ServiceSwitch::kNone},
      {"-", ServiceSwitch::kNone},
      // The scan also runs through the program's own path.
      {"/opt/service", ServiceSwitch::kService},
      {"./Orbeline --Service", ServiceSwitch::kService},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScanServiceSwitch(c.line), c.expected) << c.line;
  }
}

TEST(CommandLineTest, JoinedLineQuotesArgumentsWithBlanks) {
  const char* argv[] = {"/opt/q/Orbeline", "-Service x"};
  std::string line = JoinCommandLine(2, argv);
  EXPECT_EQ(line, "/opt/q/Orbeline \"-Service x\"");
  EXPECT_EQ(ScanServiceSwitch(line), ServiceSwitch::kNone);

  const char* plain[] = {"/opt/q/Orbeline", "-Service"};
  EXPECT_EQ(ScanServiceSwitch(JoinCommandLine(2, plain)), ServiceSwitch::kService);
}

}  // namespace
