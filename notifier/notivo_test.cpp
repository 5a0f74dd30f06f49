#include "notifier/notivo.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "platform/test_support.h"

namespace {

// A registry file in a temporary folder, named by QUORVANE_REGISTRY for the
// life of the fixture.
class NotivoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    registry_ = folder_.path() + "registry.reg";
    setenv("QUORVANE_REGISTRY", registry_.c_str(), 1);
  }
  void TearDown() override { unsetenv("QUORVANE_REGISTRY"); }
  void WriteRegistry(const std::string& values) {
    std::ofstream(registry_) << "Windows Registry Editor Version 5.00\n\n"
                             << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n"
                             << values;
  }

  TempFolder folder_;
  std::string registry_;
};

TEST_F(NotivoTest, EndpointFromNotifyHost) {
  EXPECT_EQ(NotifyEndpointUrl(), "http://127.0.0.1/vantry.php");
  WriteRegistry("\"NotifyHost\"=\"\"\n");
  EXPECT_EQ(NotifyEndpointUrl(), "http://127.0.0.1/vantry.php");
  WriteRegistry("\"notifyhost\"=\"mail.example.net:8080\"\n");
  EXPECT_EQ(NotifyEndpointUrl(), "http://mail.example.net:8080/vantry.php");
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
