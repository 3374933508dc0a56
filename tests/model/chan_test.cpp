#include "model/chan.h"

#include <gtest/gtest.h>

#include <sstream>

#include "model/symtable.h"

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
  // The label of "name!" (send) or "name?" (receive).
  static SyncLabel labelOf(const char* name, bool send) {
    std::int32_t c = symbols().indexOf(name);
    return send ? c + 1 : -(c + 1);
  }
};
}  // namespace

TEST_F(ChannelTable, NumbersFollowDeclarationOrder) {
  EXPECT_EQ(declareChannel("a", false), 1);
  EXPECT_EQ(declareChannel("b", false), 2);
  EXPECT_EQ(declareChannel("c", true), 3);
  EXPECT_EQ(channels().size(), 3);
  EXPECT_EQ(channels().lookup(3)->name(), "c");
  EXPECT_TRUE(channels().isUrgent(3));
  EXPECT_FALSE(channels().isUrgent(1));
  EXPECT_EQ(symbols().extraOf("b"), 2);
}

TEST_F(ChannelTable, SyncLabelsCarryNumberAndDirection) {
  declareChannel("a", false);
  declareChannel("b", false);
  declareChannel("c", true);
  SyncLabel sendC = labelOf("c", true), receiveA = labelOf("a", false);
  EXPECT_EQ(sendC, 3);
  EXPECT_EQ(receiveA, -1);
  EXPECT_EQ(syncChannel(sendC), 3);
  EXPECT_EQ(syncChannel(receiveA), 1);
  EXPECT_TRUE(isSending(sendC));
  EXPECT_TRUE(isReceiving(receiveA));
  EXPECT_FALSE(isSending(0) || isReceiving(0));
}

TEST_F(ChannelTable, FailedRedeclarationKeepsNumbersAligned) {
  declareChannel("a", false);
  symbols().declare("x", integerKind, 0);
  // "chan x;" fails as a redefinition, but the record and the counter stay.
  std::int32_t number = channels().add(false, "x");
  EXPECT_FALSE(symbols().declare("x", channelKind, number));
  EXPECT_EQ(declareChannel("d", false), 3);
  EXPECT_EQ(labelOf("d", true), 3);
}

TEST_F(ChannelTable, NumbersOutsideTheTableAreAbsent) {
  declareChannel("a", true);
  EXPECT_EQ(channels().lookup(0), nullptr);
  EXPECT_EQ(channels().lookup(2), nullptr);
  EXPECT_EQ(channels().lookup(-1), nullptr);
  EXPECT_FALSE(channels().isUrgent(2));
}

TEST_F(ChannelTable, PrintsTheTable) {
  std::ostringstream empty;
  channels().print(empty);
  EXPECT_EQ(empty.str(), "Number of channels: 0");
  declareChannel("a", false);
  declareChannel("u", true);
  std::ostringstream out;
  channels().print(out);
  EXPECT_EQ(out.str(), "Number of channels: 2\n  a (false, 1)\n  u (true, 2)");
}

TEST_F(ChannelTable, SavedTableComesBack) {
  declareChannel("a", false);
  Channels saved = channels();
  channels() = Channels();
  declareChannel("b", true);
  EXPECT_EQ(channels().lookup(1)->name(), "b");
  channels() = saved;
  EXPECT_EQ(channels().size(), 1);
  EXPECT_EQ(channels().lookup(1)->name(), "a");
}
