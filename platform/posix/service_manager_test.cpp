#include "platform/service_manager.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string ExecStartLine(const std::string& program_path) {
  std::string text = platform::ServiceUnitText("Orbeline", program_path);
  size_t start = text.find("ExecStart=");
  if (start == std::string::npos) return "";
  return text.substr(start, text.find('\n', start) - start);
}

// systemd reads the ExecStart line with its own quoting and expansions; a
// program path must come out of them unchanged.
TEST(ServiceUnitTextTest, ExecStartSurvivesSystemdExpansion) {
  EXPECT_EQ(ExecStartLine("/opt/quorvane/Orbeline"), "ExecStart=/opt/quorvane/Orbeline");
  EXPECT_EQ(ExecStartLine("/opt/web filter/Orbeline"),
            "ExecStart=\"/opt/web filter/Orbeline\"");
  EXPECT_EQ(ExecStartLine("/opt/100%/Orbeline"), "ExecStart=/opt/100%%/Orbeline");
  EXPECT_EQ(ExecStartLine("/opt/$HOME/Orbeline"), "ExecStart=/opt/$$HOME/Orbeline");
  EXPECT_EQ(ExecStartLine("/opt/a \"b\"\\c/Orbeline"),
            "ExecStart=\"/opt/a \\\"b\\\"\\\\c/Orbeline\"");
}

}  // namespace
