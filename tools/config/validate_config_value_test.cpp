#include "tools/config/validate_config_value.h"

#include <gtest/gtest.h>

#include "common/email_scramble.h"
#include "tools/config/display_config_value.h"

namespace {

// The stored form of `input`, or "rejected: <message>".
std::string Stored(const char* name, const std::string& input) {
  const Setting* value = FindSetting(name);
  EXPECT_NE(value, nullptr) << name;
  if (!value) return "";
  platform::RegValue stored;
  std::string error;
  if (!ValidateConfigValue(*value, input, &stored, &error)) return "rejected: " + error;
  return DisplayConfigValue(*value, stored).value_or("(missing)") +
         (stored.type == platform::kRegDword ? " (number)" : " (text)");
}

TEST(ValidateConfigValueTest, AcceptsAndNormalisesGoodValues) {
  EXPECT_EQ(Stored("DBServerPort", "1"), "1 (number)");
  EXPECT_EQ(Stored("DBServerPort", "65535"), "65535 (number)");
  EXPECT_EQ(Stored("RegMonFilter", "0"), "0 (number)");
  EXPECT_EQ(Stored("contactwindowhours", "48"), "48 (number)");
  EXPECT_EQ(Stored("KeepDays", "0"), "0 (number)");
  EXPECT_EQ(Stored("keepdays", "31"), "31 (number)");
  EXPECT_EQ(Stored("ReportTime", "0"), "0 (text)");
  EXPECT_EQ(Stored("ReportTime", "23"), "23 (text)");
  EXPECT_EQ(Stored("apppath", "/srv/q"), "/srv/q/ (text)");
  EXPECT_EQ(Stored("APPPPATH", "/"), "/ (text)");
  EXPECT_EQ(Stored("NotifyHost", "localhost"), "localhost (text)");
  EXPECT_EQ(Stored("NotifyHost", "10.0.0.1:80"), "10.0.0.1:80 (text)");
  EXPECT_EQ(Stored("NotifyHost", "[::1]:8080"), "[::1]:8080 (text)");
  EXPECT_EQ(Stored("NotifyHost", "[fe80::1]"), "[fe80::1] (text)");
  EXPECT_EQ(Stored("NotifyHost", "https://mail.example.com:8443"),
            "https://mail.example.com:8443 (text)");
  EXPECT_EQ(Stored("NotifyCAFile", "/etc/quorvane/ca.pem"), "/etc/quorvane/ca.pem (text)");
  EXPECT_EQ(Stored("NotifyCAFile", ""), " (text)");
  EXPECT_EQ(Stored("EmailAddress", "~x@y"), "~x@y (text)");
  EXPECT_EQ(Stored("EmailAddress", "j\xC3\xBCrgen@example.com"),
            "j\xC3\xBCrgen@example.com (text)");
  EXPECT_EQ(Stored("ListenAddress", "10.0.0.1"), "10.0.0.1 (text)");
  EXPECT_EQ(Stored("ListenAddress", ""), " (text)");
  EXPECT_EQ(Stored("AgentNetworks", "192.168.0.0/16, 10.1.0.0/24"),
            "192.168.0.0/16, 10.1.0.0/24 (text)");
  EXPECT_EQ(Stored("AgentNetworks", ""), " (text)");
  EXPECT_EQ(Stored("AgentAddressCheck", "1"), "1 (number)");
  EXPECT_EQ(Stored("MetricsAddress", "127.0.0.1:9464"), "127.0.0.1:9464 (text)");
  EXPECT_EQ(Stored("MetricsAddress", ""), " (text)");
}

TEST(ValidateConfigValueTest, RejectsWithAMessageNamingTheValue) {
  for (auto [name, input] :
       std::vector<std::pair<const char*, std::string>>{{"DBServerPort", "99999999999"},
                                                        {"DBServerPort", " 80"},
                                                        {"RegDaily", "01"},
                                                        {"ReportTime", "007"},
                                                        {"ReportTime", "-1"},
                                                        {"apppath", "/a\nb"},
                                                        {"EmailAddress", "a\tb"},
                                                        {"EmailAddress", std::string("a\xF9", 2)},
                                                        {"NotifyHost", "a:b:c"},
                                                        {"NotifyHost", "[::1"},
                                                        {"NotifyHost", "host:65536"},
                                                        {"NotifyHost", "user@host"},
                                                        {"NotifyHost", "https://"},
                                                        {"NotifyHost", "http://host"},
                                                        {"NotifyCAFile", "ca.pem"},
                                                        {"NotifyCAFile", "/etc/ssl/"},
                                                        {"ContactKeepDays", "0"},
                                                        {"ContactWindowHours", "100001"},
                                                        {"ListenAddress", "localhost"},
                                                        {"ListenAddress", "10.0.0.256"},
                                                        {"AgentNetworks", "10.1.2.3/16"},
                                                        {"AgentNetworks", "10.0.0.0/8,"},
                                                        {"AgentAddressCheck", "2"},
                                                        {"KeepDays", "100001"},
                                                        {"KeepDays", "-1"},
                                                        {"MetricsAddress", "9464"},
                                                        {"MetricsAddress", "localhost:9464"},
                                                        {"MetricsAddress", "127.0.0.1:0"},
                                                        {"MetricsAddress", "127.0.0.1:09464"},
                                                        {"MetricsAddress", "127.0.0.1:65536"}}) {
    std::string result = Stored(name, input);
    EXPECT_EQ(result.rfind("rejected: ", 0), 0u) << name << " " << input << " -> " << result;
    EXPECT_NE(result.find(name), std::string::npos) << result;
  }
  EXPECT_EQ(Stored("ReportTime", "07"),
            "rejected: ReportTime must be written without a leading zero: use \"7\", not \"07\"");
}

TEST(DisplayConfigValueTest, NumbersShowAsTheServerReadsThem) {
  const Setting& port = *FindSetting("DBServerPort");
  EXPECT_EQ(DisplayConfigValue(port, platform::RegValue::String("5")), "53");
  EXPECT_EQ(DisplayConfigValue(port, platform::RegValue::String("12345")),
            "(not a number: 6 bytes)");
  EXPECT_EQ(DisplayConfigValue(port, std::nullopt), std::nullopt);
  const Setting& email = *FindSetting("emailaddress");
  EXPECT_EQ(DisplayConfigValue(email, platform::RegValue::String(ScrambleEmail("a@b"))), "a@b");
  EXPECT_EQ(FindSetting("apppath")->name, std::string("apppath"));
  EXPECT_EQ(FindSetting("APPPPATH")->name, std::string("apppPath"));
  EXPECT_EQ(FindSetting("app"), nullptr);
}

// What a program assumes for a missing value must be one the tool would
// store, and no two values may answer to the same name.
TEST(SettingsTableTest, DefaultsAreValidAndNamesDistinct) {
  for (const Setting* setting : AllSettings()) {
    SCOPED_TRACE(std::string(setting->name));
    EXPECT_EQ(FindSetting(setting->name), setting);
    if (setting->default_value.empty()) continue;
    platform::RegValue stored;
    std::string error;
    EXPECT_TRUE(ValidateConfigValue(*setting, setting->default_value, &stored, &error)) << error;
    if (IsNumberKind(setting->kind)) {
      EXPECT_EQ(stored.Number(), DefaultNumber(*setting));
    }
  }
}

}  // namespace
