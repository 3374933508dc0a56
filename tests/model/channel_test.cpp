#include "model/channel.h"

#include <gtest/gtest.h>

#include <sstream>

#include "model/symbol_table.h"

namespace {
class ChannelTable : public testing::Test {
 protected:
  void SetUp() override {
    symbols() = SymbolTable();
    channels() = Channels();
  }
  void TearDown() override { SetUp(); }

  // What the reader does for "chan name;": the channel first, then its symbol.
  static std::int32_t declareChannel(const char* name, bool urgent) {
    std::int32_t number = channels().add(urgent, name);
    symbols().declare(name, channelKind, number);
    return number;
  }
};
}  // namespace

TEST_F(ChannelTable, NumbersFromOneAndLabelsCarryNumberAndDirection) {
  EXPECT_EQ(declareChannel("a", false), 1);
  EXPECT_EQ(declareChannel("b", false), 2);
  EXPECT_EQ(declareChannel("c", true), 3);
  EXPECT_TRUE(channels().isUrgent(3));
  EXPECT_FALSE(channels().isUrgent(1));
  EXPECT_EQ(syncChannel(3), 3);
  EXPECT_EQ(syncChannel(-1), 1);
  EXPECT_TRUE(isSending(3) && isReceiving(-1));
  EXPECT_FALSE(isSending(0) || isReceiving(0));
  // Numbers outside the table are absent, not read out of bounds.
  for (int number : {0, 4, -1}) EXPECT_EQ(channels().lookup(number), nullptr) << number;
  EXPECT_FALSE(channels().isUrgent(4));
}

TEST_F(ChannelTable, FailedRedeclarationKeepsNumbersAligned) {
  declareChannel("a", false);
  symbols().declare("x", integerKind, 0);
  // "chan x;" fails as a redefinition, but the record and the counter stay.
  std::int32_t number = channels().add(false, "x");
  EXPECT_FALSE(symbols().declare("x", channelKind, number));
  EXPECT_EQ(declareChannel("d", false), 3);
  EXPECT_EQ(symbols().extraOf("d"), 3);
}

