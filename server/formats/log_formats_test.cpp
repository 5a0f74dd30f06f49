// The nightly logs' formats: Base64, names and dates, request and filter lines,
// the content hash.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string_view>

#include "platform/clock.h"
#include "platform/test_support.h"
#include "server/formats/content_hash.h"
#include "server/formats/decode_base64.h"
#include "server/formats/filter_line.h"
#include "server/formats/log_line_parser.h"
#include "server/formats/log_names.h"
#include "server/formats/test_util.h"

namespace {

using namespace std::string_literals;

TEST(DecodeBase64Test, StatusesAndStopRules) {
  std::string out;
  EXPECT_EQ(DecodeBase64(&out, "YWJj"), 2);
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(DecodeBase64(&out, "QQ=="), 2);
  EXPECT_EQ(out, "A\0\0"s);
  EXPECT_EQ(DecodeBase64Text("QQ=="), "A");
  EXPECT_EQ(DecodeBase64(&out, "YWJjZA"), 3);
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(DecodeBase64Text("YWJj\r"), "abc");
  EXPECT_EQ(DecodeBase64(&out, "YW Jj"), 3);
  EXPECT_EQ(out, "");
  EXPECT_EQ(DecodeBase64(&out, ""), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(DecodeBase64(&out, "YWJj\xc3Zm9v"), 1);
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(DecodeBase64(&out, "YWJj-Zm9v"), 2);
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(DecodeBase64(&out, "YWJj\0Zm9v"s), 2);  // a zero byte ends the input
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(DecodeBase64Text("YQBi"), "a");  // decoded text is cut at a zero byte
}

TEST(DecodeBase64Test, LongLinesRoundTripWithoutABound) {
  std::string text(200000, 'x');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  EXPECT_EQ(DecodeBase64Text(EncodeBase64ForTesting(text)), text);
}

class LocalTimeTest : public ::testing::Test {
 protected:
  static int64_t Local(int year, int month, int day, int hour = 0, int minute = 0, int sec = 0) {
    return platform::LocalTimeOf(year, month, day, hour, minute, sec);
  }

  ScopedTimeZone zone_{"Europe/Paris"};
};

TEST_F(LocalTimeTest, PreviousDayNamesStepAcrossMonthsAndYears) {
  EXPECT_EQ(DailyLogPattern(PreviousDay(Local(2027, 3, 1))), "28_02_2027_*");
  EXPECT_EQ(DailyLogPattern(PreviousDay(Local(2027, 1, 1))), "31_12_2026_*");
  EXPECT_EQ(DailyLogPattern(PreviousDay(Local(2026, 10, 29))), "28_10_2026_*");
  EXPECT_EQ(DailyLogPattern(PreviousDay(Local(2026, 3, 6, 0, 0, 5))), "05_03_2026_*");
  EXPECT_EQ(DailyLogPattern(PreviousDay(Local(2028, 3, 1))), "29_02_2028_*");
  // The night after the autumn clock change (25 October 2026 has 25 hours).
  EXPECT_EQ(DailyLogPattern(PreviousDay(Local(2026, 10, 26))), "25_10_2026_*");
  EXPECT_EQ(DailyLogPattern(PreviousDay(Local(2026, 3, 30))), "29_03_2026_*");
  EXPECT_EQ(FilterLogName(PreviousDay(Local(2026, 3, 1))), "Filter_28_02_2026.log");
  EXPECT_EQ(FilterLogName(PreviousDay(Local(2026, 1, 1))), "Filter_31_12_2025.log");
  EXPECT_EQ(FilterLogName(PreviousDay(Local(2026, 11, 12))), "Filter_11_11_2026.log");
}

TEST_F(LocalTimeTest, LogDatesFromNamesAndRowTimesOnTheirOwnDays) {
  EXPECT_EQ(DailyLogDate("05_03_2026_bob_10.0.0.3"), (LogDate{5, 3, 2026}));
  EXPECT_EQ(FilterLogDate("Filter_29_02_2028.log"), (LogDate{29, 2, 2028}));
  for (const char* name : {"05_03_2026", "5_03_2026_bob", "31_02_2026_bob", "05_13_2026_bob",
                           "00_03_2026_bob", "05-03-2026_bob", "logip2.log"})
    EXPECT_FALSE(DailyLogDate(name)) << name;
  for (const char* name : {"Filter_29_02_2026.log", "Filter_05_03_2026.txt",
                           "Filter_05_03_2026.log.1", "05_03_2026_Filter"})
    EXPECT_FALSE(FilterLogDate(name)) << name;
  EXPECT_LT((LogDate{31, 12, 2025}), (LogDate{1, 1, 2026}));
  EXPECT_EQ(LocalDay(Local(2026, 3, 6, 0, 0, 5)), (LogDate{6, 3, 2026}));

  // The night after the spring clock change: 29 March 2026 had 23 hours,
  // so a day earlier by the clock is not the 29th at the same time.
  const int64_t night = Local(2026, 3, 30, 0, 0, 5);
  EXPECT_EQ(TimeOnDay(LogDate{29, 3, 2026}, night), Local(2026, 3, 29, 0, 0, 5));
  EXPECT_NE(TimeOnDay(LogDate{29, 3, 2026}, night), night - 86400);
  EXPECT_EQ(TimeOnDay(LogDate{5, 3, 2026}, Local(2026, 3, 6, 0, 0, 5)),
            Local(2026, 3, 6, 0, 0, 5) - 86400);
}

TEST(ContentHashTest, SameBytesSameHashHoweverTheyArriveOtherBytesOther) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += static_cast<char>('a' + i * 7 % 26);
  ContentHash whole;
  whole.Update(text.data(), text.size());
  for (size_t piece : {1u, 3u, 7u, 8u, 13u, 64u}) {
    ContentHash cut;
    for (size_t at = 0; at < text.size(); at += piece)
      cut.Update(text.data() + at, std::min(piece, text.size() - at));
    EXPECT_EQ(cut.Hex(), whole.Hex()) << piece;
  }
  std::string other = text;
  other[500] ^= 1;
  ContentHash changed, shorter, empty;
  changed.Update(other.data(), other.size());
  shorter.Update(text.data(), text.size() - 1);
  EXPECT_NE(changed.Hex(), whole.Hex());
  EXPECT_NE(shorter.Hex(), whole.Hex());
  EXPECT_EQ(empty.Hex().size(), 16u);
}

// The stored values of every log imported so far: a change here would make
// each of those logs look new and import it twice.
TEST(ContentHashTest, FixedInputsKeepTheirStoredValues) {
  auto hash = [](std::string_view bytes) {
    ContentHash h;
    h.Update(bytes.data(), bytes.size());
    return h.Hex();
  };
  EXPECT_EQ(hash(""), "ef46db3751d8e999");
  EXPECT_EQ(hash("a"), "0c923004508ac8bf");
  EXPECT_EQ(hash("abcdefg"), "f267d5c3dfecdddd");
  EXPECT_EQ(hash("abcdefgh"), "01faa60326b60429");
  EXPECT_EQ(hash("05_03_2026 bob request log\r\n"), "d99acc5e4650b4c5");
  std::string text;
  for (int i = 0; i < 1000; ++i) text += static_cast<char>('a' + i * 7 % 26);
  EXPECT_EQ(hash(text), "6463f3603d8f40a1");
}

TEST(LogNamesTest, SplitsUserAndAddress) {
  std::string user, address;
  SplitDailyLogName("05_03_2026_bob_10.0.0.3.log", &user, &address);
  EXPECT_EQ(user, "bob");
  EXPECT_EQ(address, "10.0.0.3.log");
  SplitDailyLogName("05_03_2026_bob", &user, &address);
  EXPECT_EQ(user, "bob");
  EXPECT_EQ(address, "bob");
  SplitDailyLogName("05_03_2026__x", &user, &address);  // "_" first: both the rest
  EXPECT_EQ(user, "_x");
  EXPECT_EQ(address, "_x");
  SplitDailyLogName("05_03_2026_ann_10.0.0.1_report.txt", &user, &address);
  EXPECT_EQ(user, "ann");
  EXPECT_EQ(address, "10.0.0.1_report.txt");
  SplitDailyLogName("05_03", &user, &address);
  EXPECT_EQ(user, "");
  for (const char* part : {"", "a,b", "evil\r\nroot", "tab\there", "del\x7f", "nel\xc2\x85",
                           "ls\xe2\x80\xa8", "latin1 Jos\xe9"})
    EXPECT_FALSE(IsUsableNamePart(part)) << part;
  EXPECT_TRUE(IsUsableNamePart("10.0.0.1_report.txt"));
  EXPECT_TRUE(IsUsableNamePart("Jos\xc3\xa9"));
  EXPECT_TRUE(IsReportFileName("05_03_2026_ann_1_report.txt"));
  EXPECT_FALSE(IsReportFileName("05_03_2026_ann_1_Report.txt"));
}

TEST(LogLineParserTest, NumbersAsTheLogsWriteThem) {
  EXPECT_EQ(ReadNumber("  \t42abc"), 42);
  EXPECT_EQ(ReadNumber("-17"), -17);
  EXPECT_EQ(ReadNumber("+8"), 8);
  EXPECT_EQ(ReadNumber("x12"), 0);
  EXPECT_EQ(ReadNumber(""), 0);
  EXPECT_EQ(ReadNumber("- 5"), 0);
  EXPECT_EQ(ReadNumber("99999999999999999999"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ReadNumber("-2147483648"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ReadNumber("-99999999999999999999"), std::numeric_limits<int32_t>::min());
}

TEST(LogLineParserTest, RequestLines) {
  SiteLine line = ParseRequestLine("12*x Request: host1/index.html");
  EXPECT_EQ(line.key, "host1");
  EXPECT_EQ(line.number, 12);
  EXPECT_EQ(ParseRequestLine("12*x Request: host1").key, "");  // no "/" after the host
  line = ParseRequestLine("12 x Request: host1/a");            // no "*": number 0
  EXPECT_EQ(line.key, "host1");
  EXPECT_EQ(line.number, 0);
  // Without "Request:" the host starts at the line's 9th character.
  EXPECT_EQ(ParseRequestLine("7*abcdefhost2/x").key, "host2");
  EXPECT_EQ(ParseRequestLine("7*ab").key, "");
  // The host is taken from the first "Request:", whatever follows.
  EXPECT_EQ(ParseRequestLine("3*Request:_a/b Request: c/d").key, "a");
  EXPECT_EQ(ParseRequestLine("3*Request:_/b").key, "");
}

TEST(LogLineParserTest, ReportLines) {
  SiteLine line = ParseReportLine("host1 5");
  EXPECT_EQ(line.key, "host1");
  EXPECT_EQ(line.number, 5);
  EXPECT_EQ(ParseReportLine("host1").key, "");
  line = ParseReportLine("a b 9");
  EXPECT_EQ(line.key, "a");
  EXPECT_EQ(line.number, 0);
  EXPECT_EQ(ParseReportLine(" 4").key, "");
}

TEST_F(LocalTimeTest, FilterLinesSplitIntoEvents) {
  const std::string anna = "3/5/2026|PC7|anna|x|14:07:33|host1/page|blocked_z";
  FilterFields fields = SplitFilterLine(anna);
  EXPECT_EQ(fields[3], "PC7");
  EXPECT_EQ(fields[5], "x");
  FilterEvent event = MakeFilterEvent(fields);
  EXPECT_EQ(event.user_name, "anna");
  EXPECT_EQ(event.url, "host1/page");
  EXPECT_EQ(event.action, "blocked");
  EXPECT_EQ(event.time, Local(2026, 3, 5, 14, 7, 33));

  EXPECT_EQ(MakeFilterEvent(SplitFilterLine("3/5/2026|PC7||x|14:07:33|h/p|blocked_")).user_name,
            "PC7");
  EXPECT_EQ(MakeFilterEvent(SplitFilterLine("3/5/126|PC7|anna|x|14:07:33|h/p|b_")).time,
            Local(2026, 3, 5, 14, 7, 33));
  event = MakeFilterEvent(SplitFilterLine("3/5/2026|PC7|anna|x|14:07:33|host1/page|blocked"));
  EXPECT_EQ(event.url, "host1/page");
  EXPECT_EQ(event.action, "");
  // A missing separator leaves its field empty and the rest for the next.
  fields = SplitFilterLine("3-5/2026|a|b|c|1:2:3|u|act_");
  EXPECT_EQ(fields[0], "3-5");
  EXPECT_EQ(fields[1], "");
  EXPECT_EQ(fields[2], "2026");
  // Out-of-range values are normalised, not rejected.
  EXPECT_EQ(MakeFilterEvent(SplitFilterLine("13/1/2025|a|b|c|0:0:0|u|act_")).time,
            Local(2026, 1, 1));
  EXPECT_EQ(MakeFilterEvent(SplitFilterLine("")).user_name, "");
}

}  // namespace
