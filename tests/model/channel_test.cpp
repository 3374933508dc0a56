#include "model/channel.h"

#include <gtest/gtest.h>

#include "tests/model/net_builder.h"

using namespace net;

TEST(ChannelTable, NumbersFromOneAndStaysAlignedAfterAFailedDeclaration) {
  resetTables();
  EXPECT_EQ(channel("a"), 1);
  EXPECT_EQ(channel("u", true), 2);
  EXPECT_TRUE(channels().isUrgent(2));
  EXPECT_FALSE(channels().isUrgent(1));
  // "chan x;" after "int x;" fails as a redefinition, but the record and the counter stay.
  symbols().declare("x", integerKind, 0);
  EXPECT_FALSE(symbols().declare("x", channelKind, channels().add(false, "x")));
  EXPECT_EQ(channel("d"), 4);
  EXPECT_EQ(symbols().extraOf("d"), 4);
  // Numbers outside the table are absent, not read out of bounds.
  for (int number : {0, 5, -1}) EXPECT_EQ(channels().lookup(number), nullptr) << number;
  EXPECT_FALSE(channels().isUrgent(5));
  resetTables();
}
