#include "server/filter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "base/error.h"

using testing::StrEq;
using testing::ThrowsMessage;

TEST(ParseInteger, OneNumberWithOptionalSpaceAndSign) {
  for (auto [line, value] : {std::pair{"42", 42}, {" 42", 42}, {"-7", -7}, {"+3", 3},
                             {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}})
    EXPECT_EQ(parseInteger(line), value) << line;
  for (const char* line : {"42 ", "42\r", "4x", "", " ", "-", "+", "2147483648", "-2147483649",
                           "99999999999999999999", "1 2"})
    EXPECT_THAT([&] { parseInteger(line); },
                ThrowsMessage<ProtocolError>(StrEq("Bad integer value")))
        << '"' << line << '"';
}

TEST(ReadTextBlock, DeliversTheBlockUpToTheTerminatorAndLeavesTheRest) {
  struct Case {
    const char* in;
    const char* block;  // null: the input ends before the terminator
    const char* rest;
  } cases[] = {
      {"a\r\nb\n.\nrest", "a\nb\n", "rest"},
      {".\nx\n.\n", ".\nx\n", ""},  // a dot right after the request line belongs to the block
      {"\n.\nnext", "\n", "next"},
      {"", nullptr, ""},
      {"a", nullptr, ""},
      {"a\nb\n", nullptr, ""},
      {"a\n.", nullptr, ""},
      {".\n", nullptr, ""},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.in);
    std::ostringstream sink;
    ASSERT_EQ(readTextBlock(in, sink), c.block != nullptr) << c.in;
    if (!c.block) continue;
    EXPECT_EQ(sink.str(), c.block);
    std::string rest;
    in >> rest;
    EXPECT_EQ(rest, c.rest);
  }
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

TEST(NewlineFilter, DropsCarriageReturnsCutsWordsAndTakesNothingBeyondTheLine) {
  std::istringstream raw("ver\rsion\r\n" + std::string(40, 'w') + "\nquit\nrest\r\n");
  NewlineFilterStream filtered(raw);
  EXPECT_EQ(readCommandWord(filtered), "version");
  EXPECT_EQ(readCommandWord(filtered), std::string(18, 'w'));
  EXPECT_EQ(readCommandWord(filtered), "quit");
  EXPECT_EQ(readLine(raw), "rest\r");
}

TEST(Exceptions, MessagesAreCutTo255) {
  std::string text(400, 'm');
  InputError e("%s", text.c_str());
  EXPECT_EQ(std::string(e.what()), std::string(255, 'm'));
}

