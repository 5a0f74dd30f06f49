#include <gtest/gtest.h>

#include "notifier/fill_template.h"
#include "notifier/text_file.h"

TEST(TextFromFileContentsTest, EachLineThenOneMoreLineFeed) {
  EXPECT_EQ(TextFromFileContents(""), "");
  EXPECT_EQ(TextFromFileContents("a\nb\n"), "a\nb\n\n");
  // A last line without its line end reads the same.
  EXPECT_EQ(TextFromFileContents("a\nb"), "a\nb\n\n");
  EXPECT_EQ(TextFromFileContents("a\r\nb\r\n"), "a\nb\n\n");
  EXPECT_EQ(TextFromFileContents("\n"), "\n\n");
  EXPECT_EQ(TextFromFileContents("a\n\nb\n"), "a\n\nb\n\n");
}

TEST(TextFromFileContentsTest, OnlyCarriageReturnBeforeLineFeedEndsALine) {
  EXPECT_EQ(TextFromFileContents("a\rb\n"), "a\rb\n\n");
  EXPECT_EQ(TextFromFileContents("a\r"), "a\r\n\n");
  EXPECT_EQ(TextFromFileContents("a\r\r\n"), "a\r\n\n");
}

TEST(TextFromFileContentsTest, KeepsEveryOtherByte) {
  std::string bytes("x&y=z\0\xff\n", 8);
  EXPECT_EQ(TextFromFileContents(bytes), std::string("x&y=z\0\xff\n\n", 9));
}

TEST(FillTemplateTest, ReplacesEveryPlaceholderLeftToRight) {
  EXPECT_EQ(FillTemplate("x\n@logip@\ny\n\n", "a\nb\n\n"), "x\na\nb\n\n\ny\n\n");
  EXPECT_EQ(FillTemplate("@logip@-@logip@@logip@", "R"), "R-RR");
  EXPECT_EQ(FillTemplate("<@logip@>", ""), "<>");
}

TEST(FillTemplateTest, InsertedTextIsNotSearchedAgain) {
  EXPECT_EQ(FillTemplate("[@logip@]", "@logip@"), "[@logip@]");
  EXPECT_EQ(FillTemplate("@log@logip@ip@", "X"), "@logXip@");
}

TEST(FillTemplateTest, TemplateWithoutPlaceholderIsUnchanged) {
  EXPECT_EQ(FillTemplate("no place for it\n\n", "report"), "no place for it\n\n");
  EXPECT_EQ(FillTemplate("@logi p@", "report"), "@logi p@");
  EXPECT_EQ(FillTemplate("", "report"), "");
}
