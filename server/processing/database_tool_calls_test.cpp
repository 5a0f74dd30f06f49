#include "server/processing/database_tool_calls.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/test_support.h"
#include "server/base/event_log_capture.h"
#include "server/base/refresh_ip_log.h"
#include "server/base/run_console_app.h"
#include "server/intake/request_queue.h"
#include "server/processing/contact_hand_off.h"
#include "server/processing/log_manager_thread.h"

namespace {

using Args = std::vector<std::string>;

// A temporary install folder, registry file and stand-in tool on PATH.
class ToolTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    // Without the trailing "/": the names below are joined with one.
    root_ = folder_.path().substr(0, folder_.path().size() - 1);
    install_ = root_ + "/install/";
    ASSERT_TRUE(platform::MakeDirectories(install_ + "Logs"));
    ASSERT_TRUE(platform::MakeDirectories(root_ + "/bin"));
    std::string error;
    ASSERT_TRUE(registry_.WriteSettings("\"apppath\"=\"" + install_ + "\"\n", &error)) << error;
    saved_path_ = getenv("PATH");
    setenv("PATH", (root_ + "/bin:" + saved_path_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", saved_path_.c_str(), 1); }
  // The stand-in records its arguments one per line after a "call" line
  // (then, for `record`, its input), lists `list` in mode 7, and ends
  // modes 7, record and 6 with their tails.
  void InstallTool(const std::string& list, const std::string& mode7_tail = "",
                   const std::string& record_tail = "", const std::string& mode6_tail = "") {
    std::ofstream(root_ + "/list") << list;
    std::string tool = root_ + "/bin/ledgerix";
    std::ofstream(tool) << "#!/bin/sh\ncd '" << root_ << "'\necho call >>calls\n"
                        << "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >>calls; done\n"
                        << "if [ \"$1\" = 7 ]; then cat list; " << mode7_tail << "\nfi\n"
                        << "if [ \"$1\" = record ]; then cat >>calls; " << record_tail << "\nfi\n"
                        << "if [ \"$1\" = 6 ]; then :; " << mode6_tail << "\nfi\n";
    chmod(tool.c_str(), 0755);
  }
  // One pass of a worker over `reports`, in order.
  size_t Pass(const std::vector<std::string>& reports, const platform::StopCheck& stop = {}) {
    std::vector<RequestEntry> entries;
    for (const std::string& report : reports) entries.emplace_back(report, 0);
    return worker_.ProcessReports(entries, stop, stop);
  }
  std::string Calls() { return platform::ReadWholeFile(root_ + "/calls").value_or(""); }
  std::string IpLog() {
    return platform::ReadWholeFile(install_ + "Logs/logip2.log").value_or("-");
  }
  std::string SizeFile() {
    return platform::ReadWholeFile(install_ + "quorvane.size").value_or("-");
  }

  TempFolder folder_;
  ScopedRegistryFile registry_;
  std::string root_, install_, saved_path_;
  EventLogCapture log_;
  CRequestQueue queue_;
  CLogManagerThread worker_{queue_};
};

const char kNoContact[] = "nothing at all\n";  // a pass that only lists

TEST_F(ToolTest, RefreshRewritesBothFilesFromTheList) {
  InstallTool("bob,10.0.0.2,PC-2,1\r\nann,10.0.0.3,PC-3,0\r\npartial,line");
  Pass({kNoContact});
  EXPECT_EQ(Calls(), "call\n[7]\n");
  EXPECT_EQ(IpLog(), "bob,10.0.0.2,PC-2,1\r\nann,10.0.0.3,PC-3,0\r\n");
  EXPECT_EQ(SizeFile(), "bob,10.0.0.2,PC-2,0\r\nann,10.0.0.3,PC-3,0\r\n");
  InstallTool("carl,10.0.0.4,PC-4,1\n");
  Pass({kNoContact});  // earlier rows are gone
  EXPECT_EQ(IpLog(), "carl,10.0.0.4,PC-4,1\r\n");
  InstallTool("no line feed");
  Pass({kNoContact});  // the tool ran and listed nothing: both files empty
  EXPECT_EQ(IpLog(), "");
  EXPECT_EQ(SizeFile(), "");
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ToolTest, OnlyACompleteListReplacesTheFilesAndAFailureIsToldOnce) {
  InstallTool("bob,10.0.0.2,PC-2,1\n");
  Pass({kNoContact});
  ASSERT_EQ(IpLog(), "bob,10.0.0.2,PC-2,1\r\n");
  const std::string kept = "The IP log was left as it was: ";
  // A tool that fails after printing part of a list.
  InstallTool("carl,10.0.0.4,PC-4,1\n", "exit 3");
  Pass({kNoContact});
  Pass({kNoContact});
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{kept + "ledgerix 7 ended with exit code 3"}));
  // A list beyond the bound: cut, so not used.
  InstallTool("", "head -c " + std::to_string(kMaxIpListBytes + 1) + " /dev/zero | tr '\\0' x");
  Pass({kNoContact});
  EXPECT_EQ(log_.lines().back(), kept + "the list of ledgerix 7 is longer than 64 MiB");
  // A tool that cannot start: the runner's own message, the contact kept
  // for the next pass, and no list.
  ASSERT_TRUE(platform::RemoveFile(root_ + "/bin/ledgerix"));
  Pass({"<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\n"});
  EXPECT_EQ(log_.lines().size(), 4u);
  EXPECT_EQ(log_.lines()[2], "Error: Can't start console app");
  EXPECT_EQ(log_.lines()[3],
            "1 agent report not recorded: ledgerix record could not be started; tried again, up "
            "to 10 times");
  EXPECT_EQ(IpLog(), "bob,10.0.0.2,PC-2,1\r\n");
  EXPECT_EQ(SizeFile(), "bob,10.0.0.2,PC-2,0\r\n");
  // The next complete list is used, and a later failure is told again.
  InstallTool("ann,10.0.0.3,PC-3,0\n");
  ASSERT_TRUE(platform::RemoveFile(root_ + "/calls"));
  Pass({kNoContact});
  EXPECT_EQ(Calls(), "call\n[record]\nalice\tPC-7\t192.168.0.7\ncall\n[7]\n");
  EXPECT_EQ(IpLog(), "ann,10.0.0.3,PC-3,0\r\n");
  InstallTool("", "exit 3");
  Pass({kNoContact});
  EXPECT_EQ(log_.lines().size(), 5u);
}

TEST_F(ToolTest, RefreshReportsAnUnwritableFolder) {
  InstallTool("bob,10.0.0.2,PC-2,1\n");
  std::filesystem::remove_all(install_ + "Logs");
  Pass({kNoContact});
  ASSERT_EQ(log_.lines().size(), 1u);
  EXPECT_EQ(
      log_.lines()[0].rfind("The IP log was left as it was: the files could not be written: ", 0),
      0u)
      << log_.lines()[0];
}

TEST_F(ToolTest, APassRecordsItsReportsInOrderInOneRunThenListsOnce) {
  InstallTool("alice,192.168.0.7,PC-7,1\n");
  Pass({"<user>bob</user><computer>PC-2</computer><ip>10.0.0.2</ip>\n", kNoContact,
        "<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\n"});
  EXPECT_EQ(Calls(), "call\n[record]\nbob\tPC-2\t10.0.0.2\nalice\tPC-7\t192.168.0.7\ncall\n[7]\n");
  EXPECT_EQ(IpLog(), "alice,192.168.0.7,PC-7,1\r\n");
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ToolTest, AnOlderToolGetsOneModeSixEachAndFailedRecordsAreTriedAgainInOrder) {
  // `record` is refused as an older tool refuses it; mode 6 fails twice.
  InstallTool("bob,10.0.0.2,PC-2,1\n", "", "echo usage >&2; exit 2",
              "[ \"$(cat fails 2>/dev/null)\" = xx ] || { printf x >>fails; exit 1; }");
  const std::string bob = "<user>bob</user><computer>PC-2</computer><ip>10.0.0.2</ip>\n";
  const std::string ann = "<user>ann</user><computer>PC-3</computer><ip>10.0.0.3</ip>\n";
  const std::string carl = "<user>carl</user><computer>PC-4</computer><ip>10.0.0.4</ip>\n";
  EXPECT_EQ(Pass({bob, ann}), 2u);
  EXPECT_EQ(Pass({}), 2u);
  EXPECT_EQ(Pass({carl}), 0u);
  EXPECT_EQ(Calls(),
            "call\n[record]\nbob\tPC-2\t10.0.0.2\nann\tPC-3\t10.0.0.3\n"
            "call\n[6]\n[bob]\n[PC-2]\n[10.0.0.2]\n"  // fails
            "call\n[6]\n[bob]\n[PC-2]\n[10.0.0.2]\n"  // fails
            "call\n[6]\n[bob]\n[PC-2]\n[10.0.0.2]\n"  // the first, in its order
            "call\n[6]\n[ann]\n[PC-3]\n[10.0.0.3]\n"
            "call\n[6]\n[carl]\n[PC-4]\n[10.0.0.4]\ncall\n[7]\n");
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{
                "ledgerix does not know \"ledgerix record\" (an older version): each agent report "
                "is recorded with a run of \"ledgerix 6\" of its own",
                "2 agent reports not recorded: ledgerix 6 ended with exit code 1; tried again, up "
                "to 10 times"}));
  EXPECT_EQ(IpLog(), "bob,10.0.0.2,PC-2,1\r\n");
}

TEST_F(ToolTest, ARecordThatKeepsFailingIsGivenUpAfterItsTriesWithPausesBetween) {
  InstallTool("", "", "exit 1");
  ContactHandOff hand_off;
  hand_off.Add({"bob", "PC-2", "10.0.0.2"});
  std::vector<long> pauses;
  for (int i = 0; i < ContactHandOff::kMaxTries; ++i) {
    EXPECT_EQ(hand_off.Try({}), 0u);
    pauses.push_back(static_cast<long>(hand_off.RetryPause().count()));
  }
  EXPECT_EQ(hand_off.waiting(), 0u);
  EXPECT_EQ(pauses,
            (std::vector<long>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000, 30000, 30000}));
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                              "1 agent report not recorded: ledgerix record ended with exit code "
                              "1; tried again, up to 10 times",
                              "1 agent report given up after 10 tries: ledgerix record ended with "
                              "exit code 1"}));
}

TEST_F(ToolTest, IncompleteOrRefusedValuesSkipTheRecordOnly) {
  InstallTool("");
  Pass({"<user>alice</user><computer>PC-7</computer>\n"});
  Pass({"<user>al\rice</user><computer>PC-7</computer><ip>1</ip>\n"});
  Pass({"<user>bob</user><computer>PC\n8</computer><ip>1</ip>\n",
        "<user>b,ob</user><computer>PC</computer><ip>1</ip>\n"});
  Pass({kNoContact});
  EXPECT_EQ(Calls(), "call\n[7]\ncall\n[7]\ncall\n[7]\ncall\n[7]\n");
  // Once for the run of passes that refused values.
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                              "1 agent report not recorded: a value is empty, longer than 256 "
                              "bytes, or holds a comma or a control character"}));
  // Awkward but single-line values arrive whole.
  Pass({"<user>a \"b\\</user><computer>\\\\PC</computer><ip>1 2</ip>\n"});
  EXPECT_EQ(Calls().substr(36), "call\n[record]\na \"b\\\t\\\\PC\t1 2\ncall\n[7]\n");
}

TEST_F(ToolTest, AnyValuesReachTheToolAsExactlyThreeArguments) {
  InstallTool("");
  const std::vector<Args> cases = {
      {"alice", "PC-7", "192.168.0.7"}, {"Jo Ann", "PC 7", "10.0.0.1"}, {"", "", ""},
      {"a\"b", "PC", "1.2.3.4"},        {"dom\\", "PC\\\\", "ip\\"},    {"x", "y", "1.2.3.4 extra"},
      {"\"", "\\\"", "\"\""},           {"a\tb", "c d", " "},
  };
  std::string expected;
  for (const Args& c : cases) {
    RecordContactInfo(c[0], c[1], c[2]);
    expected += "call\n[6]\n[" + c[0] + "]\n[" + c[1] + "]\n[" + c[2] + "]\n";
  }
  EXPECT_EQ(Calls(), expected);
}

TEST_F(ToolTest, AStopStartsNoTool) {
  InstallTool("bob,10.0.0.2,PC-2,1\n");
  EXPECT_EQ(Pass({"<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\n", kNoContact},
                 [] { return true; }),
            1u);  // the contact waits
  EXPECT_EQ(Calls(), "");
  EXPECT_EQ(IpLog(), "-");
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ToolTest, RunConsoleAppCapacity) {
  std::string writer = root_ + "/bin/writer";
  std::ofstream(writer) << "#!/bin/sh\nhead -c \"$1\" /dev/zero | tr '\\0' x\n";
  chmod(writer.c_str(), 0755);
  EXPECT_EQ(RunConsoleApp({"writer", "0"}, 100), "");
  EXPECT_EQ(RunConsoleApp({"writer", "99"}, 100), std::string(99, 'x'));
  EXPECT_EQ(RunConsoleApp({"writer.exe", "100"}, 100), std::string(99, 'x'));
  EXPECT_EQ(RunConsoleApp({"writer", "700000"}, kToolOutputCapacity)->size(),
            kToolOutputCapacity - 1);
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(RunConsoleApp({"no-such-tool", "7"}, 100), std::nullopt);
  EXPECT_EQ(RunConsoleApp({}, 100), std::nullopt);
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"Error: Can't start console app",
                                                    "Error: Can't start console app"}));
}

}  // namespace
