#include "platform/service_manager.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string UnitText(const platform::ServiceUnit& unit) {
  return platform::ServiceUnitText("Orbeline", unit);
}

std::string LineOf(const std::string& text, const std::string& name) {
  size_t start = text.find("\n" + name + "=");
  if (start == std::string::npos) return "";
  ++start;
  return text.substr(start, text.find('\n', start) - start);
}

std::string ExecStartLine(const std::string& program_path) {
  platform::ServiceUnit unit;
  unit.program_path = program_path;
  return LineOf(UnitText(unit), "ExecStart");
}

// systemd reads the ExecStart line with its own quoting and expansions; a
// program path must come out of them unchanged.
TEST(ServiceUnitTextTest, ExecStartSurvivesSystemdExpansion) {
  EXPECT_EQ(ExecStartLine("/opt/quorvane/Orbeline"), "ExecStart=/opt/quorvane/Orbeline");
  EXPECT_EQ(ExecStartLine("/opt/web filter/Orbeline"), "ExecStart=\"/opt/web filter/Orbeline\"");
  EXPECT_EQ(ExecStartLine("/opt/100%/Orbeline"), "ExecStart=/opt/100%%/Orbeline");
  EXPECT_EQ(ExecStartLine("/opt/$HOME/Orbeline"), "ExecStart=/opt/$$HOME/Orbeline");
  EXPECT_EQ(ExecStartLine("/opt/a \"b\"\\c/Orbeline"),
            "ExecStart=\"/opt/a \\\"b\\\"\\\\c/Orbeline\"");
}

// The confinement bends only where it would hide the install folder or
// take root's access to it away, and no path can add a line to the unit.
TEST(ServiceUnitTextTest, ConfinementFollowsUserAndInstallFolder) {
  platform::ServiceUnit unit;
  unit.program_path = "/usr/sbin/Orbeline";
  unit.user = "quorvane";
  unit.writable_folder = "/var/lib/quorvane";
  std::string text = UnitText(unit);
  EXPECT_EQ(LineOf(text, "User"), "User=quorvane");
  EXPECT_EQ(LineOf(text, "CapabilityBoundingSet"), "CapabilityBoundingSet=");
  EXPECT_EQ(LineOf(text, "PrivateUsers"), "PrivateUsers=yes");
  EXPECT_EQ(LineOf(text, "ReadWritePaths"), "ReadWritePaths=/var/lib/quorvane");
  EXPECT_EQ(LineOf(text, "ProtectHome"), "ProtectHome=yes");
  EXPECT_EQ(LineOf(text, "PrivateTmp"), "PrivateTmp=yes");
  EXPECT_EQ(text.find("[Install]"), std::string::npos);

  unit.user = "";
  unit.writable_folder = "/home/ann/demo";
  text = UnitText(unit);
  EXPECT_EQ(LineOf(text, "User"), "");
  EXPECT_EQ(LineOf(text, "PrivateUsers"), "");
  EXPECT_EQ(LineOf(text, "CapabilityBoundingSet"), "CapabilityBoundingSet=CAP_DAC_OVERRIDE");
  EXPECT_EQ(LineOf(text, "ProtectHome"), "ProtectHome=read-only");
  EXPECT_EQ(LineOf(text, "ProtectSystem"), "ProtectSystem=strict");

  unit.writable_folder = "/tmp/q\nExecStartPre=/bin/evil";
  text = UnitText(unit);
  EXPECT_EQ(LineOf(text, "PrivateTmp"), "");
  EXPECT_EQ(LineOf(text, "ExecStartPre"), "");
  EXPECT_EQ(LineOf(text, "ReadWritePaths"), "ReadWritePaths=\"/tmp/q\\x0aExecStartPre=/bin/evil\"");

  unit.start_at_boot = true;
  unit.tool_folder = "/usr/bin";
  text = UnitText(unit);
  EXPECT_EQ(LineOf(text, "Environment"), "Environment=PATH=/usr/bin:/bin");
  EXPECT_NE(text.find("\n[Install]\nWantedBy=multi-user.target\n"), std::string::npos);
}

}  // namespace
