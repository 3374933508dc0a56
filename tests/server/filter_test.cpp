#include "server/filter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "base/diagnostics.h"
#include "base/error.h"

using testing::StrEq;
using testing::ThrowsMessage;

TEST(ParseInteger, AcceptsSignsAndLeadingSpace) {
  EXPECT_EQ(parseInteger("42"), 42);
  EXPECT_EQ(parseInteger(" 42"), 42);
  EXPECT_EQ(parseInteger("-7"), -7);
  EXPECT_EQ(parseInteger("+3"), 3);
  EXPECT_EQ(parseInteger("2147483647"), 2147483647);
  EXPECT_EQ(parseInteger("-2147483648"), -2147483647 - 1);
}

TEST(ParseInteger, RejectsAnythingButOneNumber) {
  for (const char* line : {"42 ", "42\r", "4x", "", " ", "-", "+", "2147483648", "-2147483649",
                           "99999999999999999999", "1 2"})
    EXPECT_THAT([&] { parseInteger(line); },
                ThrowsMessage<ProtocolError>(StrEq("Bad integer value")))
        << '"' << line << '"';
}

TEST(ReadTextBlock, DeliversTheBlockAndLeavesTheRest) {
  std::istringstream in("a\r\nb\n.\nrest");
  std::ostringstream sink;
  EXPECT_TRUE(readTextBlock(in, sink));
  EXPECT_EQ(sink.str(), "a\nb\n");
  std::string rest;
  in >> rest;
  EXPECT_EQ(rest, "rest");
}

TEST(ReadTextBlock, FailsWithoutTerminator) {
  for (const char* text : {"", "a", "a\nb\n", "a\n.", ".\n"}) {
    std::istringstream in(text);
    std::ostringstream sink;
    EXPECT_FALSE(readTextBlock(in, sink)) << text;
  }
}

TEST(ReadTextBlock, DotRightAfterRequestLineBelongsToTheBlock) {
  std::istringstream in(".\nx\n.\n");
  std::ostringstream sink;
  EXPECT_TRUE(readTextBlock(in, sink));
  EXPECT_EQ(sink.str(), ".\nx\n");
}

TEST(ReadTextBlock, EmptyBlock) {
  std::istringstream in("\n.\nnext");
  std::ostringstream sink;
  EXPECT_TRUE(readTextBlock(in, sink));
  EXPECT_EQ(sink.str(), "\n");
}

TEST(ReadLine, CutsAt98AndDropsTheRestOfTheLine) {
  std::string longLine(150, 'x');
  std::istringstream in(std::string(98, 'a') + "\n" + longLine + "\nnext\r\n");
  EXPECT_EQ(readLine(in), std::string(98, 'a'));
  EXPECT_EQ(readLine(in), std::string(98, 'x'));
  EXPECT_EQ(readLine(in), "next\r");
  EXPECT_FALSE(isTerminator(".\r"));
  EXPECT_TRUE(isTerminator("."));
}

TEST(NewlineFilter, DropsCarriageReturnsAndTakesNothingBeyondTheLine) {
  std::istringstream raw("ver\rsion\r\nrest\r\n");
  NewlineFilterStream filtered(raw);
  EXPECT_EQ(readCommandWord(filtered), "version");
  EXPECT_EQ(readLine(raw), "rest\r");
}

TEST(NewlineFilter, OverlongWordKeepsEighteenCharacters) {
  std::istringstream raw(std::string(40, 'w') + "\nquit\n");
  NewlineFilterStream filtered(raw);
  EXPECT_EQ(readCommandWord(filtered), std::string(18, 'w'));
  EXPECT_EQ(readCommandWord(filtered), "quit");
}

TEST(Exceptions, MessagesAreCutTo255AndNeverReformatted) {
  std::string text(400, 'm');
  InputError e("%s", text.c_str());
  EXPECT_EQ(std::string(e.what()), std::string(255, 'm'));
  InputError verbatim("%s", "%s%n");
  EXPECT_STREQ(verbatim.what(), "%s%n");
}

TEST(Diagnostics, ReportErrorNamesTheLine) {
  std::ostringstream sink;
  Diagnostics diagnostics(sink);
  for (int line = 1; line < 7; ++line) diagnostics.nextLine();
  diagnostics.reportError("Unknown state foo");
  diagnostics.reportBadProperty();
  EXPECT_EQ(sink.str(), "Error at line 7 : Unknown state foo\nBad property\n");
}

