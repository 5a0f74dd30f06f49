#include "notifier/notivo.h"

#include <gtest/gtest.h>

#include "platform/test_support.h"

namespace {

class NotivoTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(registry_.path().empty()); }
  void WriteRegistry(const std::string& values) {
    std::string error;
    ASSERT_TRUE(registry_.WriteSettings(values, &error)) << error;
  }

  ScopedRegistryFile registry_;
};

TEST_F(NotivoTest, EndpointFromNotifyHost) {
  EXPECT_EQ(NotifyEndpointUrl(), "http://127.0.0.1/vantry.php");
  WriteRegistry("\"NotifyHost\"=\"\"\n");
  EXPECT_EQ(NotifyEndpointUrl(), "http://127.0.0.1/vantry.php");
  WriteRegistry("\"notifyhost\"=\"mail.example.net:8080\"\n");
  EXPECT_EQ(NotifyEndpointUrl(), "http://mail.example.net:8080/vantry.php");
  WriteRegistry("\"NotifyHost\"=\"https://mail.example.net:8443\"\n");
  EXPECT_EQ(NotifyEndpointUrl(), "https://mail.example.net:8443/vantry.php");
}

TEST_F(NotivoTest, TemplateUnderInstallPath) {
  WriteRegistry("\"apppath\"=\"/opt/quorvane\"\n");
  EXPECT_EQ(MailTemplatePath(), "/opt/quorvane/templates/En/email");
  WriteRegistry("\"apppath\"=\"/opt/quorvane/\"\n");
  EXPECT_EQ(MailTemplatePath(), "/opt/quorvane/templates/En/email");
  WriteRegistry("");
  EXPECT_EQ(MailTemplatePath(), "templates/En/email");
}

}  // namespace
