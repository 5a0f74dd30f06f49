#include "notifier/notivo.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// A registry file in a temporary folder, named by QUORVANE_REGISTRY for the
// life of the fixture.
class NotivoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("notivo-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(root_);
    registry_ = (root_ / "registry.reg").string();
    setenv("QUORVANE_REGISTRY", registry_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QUORVANE_REGISTRY");
    fs::remove_all(root_);
  }
  void WriteRegistry(const std::string& values) {
    std::ofstream(registry_) << "Windows Registry Editor Version 5.00\n\n"
                             << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n"
                             << values;
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    fs::path path = root_ / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  fs::path root_;
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

TEST_F(NotivoTest, MissingArgumentsAreAUsageError) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{}, {"a@b.c"}, {"a@b.c", "dbdata"}}) {
    std::ostringstream err;
    EXPECT_EQ(RunNotivo(args, err), kNotivoUsage);
    EXPECT_NE(err.str().find("usage"), std::string::npos) << err.str();
  }
}

TEST_F(NotivoTest, UnreadableFilesSendNothing) {
  // The endpoint is a closed port: had anything been sent, the exit code
  // would be the send failure, not the read failure.
  WriteRegistry("\"NotifyHost\"=\"127.0.0.1:1\"\n\"apppath\"=\"" + root_.string() + "\"\n");
  std::string report = WriteFile("dbdata", "a\n");
  std::ostringstream err;
  EXPECT_EQ(RunNotivo({"a@b.c", (root_ / "missing").string(), "0"}, err), kNotivoUnreadable);
  EXPECT_NE(err.str().find("report file"), std::string::npos) << err.str();

  err.str("");
  EXPECT_EQ(RunNotivo({"a@b.c", root_.string(), "0"}, err), kNotivoUnreadable);

  err.str("");
  EXPECT_EQ(RunNotivo({"a@b.c", report, "1"}, err), kNotivoUnreadable);
  EXPECT_NE(err.str().find("templates/En/email"), std::string::npos) << err.str();

  // Without the template flag the template is not needed.
  err.str("");
  EXPECT_EQ(RunNotivo({"a@b.c", report, "2"}, err), kNotivoSendFailed);
  EXPECT_NE(err.str().find("http://127.0.0.1:1/vantry.php"), std::string::npos) << err.str();
}

}  // namespace
