#include "model/symbol_table.h"

#include <gtest/gtest.h>

#include <string>

TEST(SymbolNames, KeepSixtyThreeCharacters) {
  SymbolTable table;
  std::string name(70, 'a'), sameStart = std::string(63, 'a') + "bcdefgh";
  ASSERT_TRUE(table.declare(name.c_str(), integerKind, 7));
  EXPECT_EQ(std::string(table.find(name.c_str()).name), std::string(63, 'a'));
  EXPECT_EQ(table.extraOf(sameStart.c_str()), 7);
  EXPECT_FALSE(table.declare(sameStart.c_str(), clockKind, 0)) << "same first 63 characters";
  EXPECT_EQ(table.kindOf(std::string(62, 'a').c_str()), -1);
  EXPECT_EQ(std::string(Symbol(name.c_str(), 0, 0, 0).name).size(), 63u);
}

// An inactive frame is invisible by name but found by kind and index; the global frame cannot
// be popped.
TEST(SymbolFrames, InactiveFramesAndTheGlobalFrame) {
  SymbolTable table;
  ASSERT_TRUE(table.declare("x", integerKind, 0));
  table.popFrame();
  EXPECT_EQ(table.kindOf("x"), integerKind);
  table.newFrame();
  table.declare("y", clockKind, 0);
  table.popFrame();
  table.newFrame();
  table.declare("c", clockKind, 0);
  table.popFrame();
  EXPECT_EQ(table.extraOf("c"), -1);
  EXPECT_FALSE(table.find("c").isFound());
  table.find("c").extra = 12;  // the not-found symbol cannot be corrupted
  EXPECT_EQ(table.extraOf("c"), -1);
  EXPECT_STREQ(table.find(clockKind, 0).name, "y");
  EXPECT_STREQ(table.findInFrame(clockKind, 1, 2).name, "c");
  EXPECT_EQ(table.findInFrame(clockKind, 1, 1).kind, -1);
  EXPECT_EQ(table.find(clockKind, 2).kind, -1);
  EXPECT_EQ(table.find(integerKind, 1).index, -1);
}

TEST(SymbolDeclare, RedeclarationFailsButAdvancesTheCounter) {
  SymbolTable table;
  EXPECT_TRUE(table.declare("x", integerKind, 0));
  EXPECT_TRUE(table.declare("c", clockKind, 0));
  EXPECT_FALSE(table.declare("x", integerKind, 1));
  EXPECT_EQ(table.extraOf("x"), 0) << "the first declaration is unchanged";
  table.newFrame();
  EXPECT_TRUE(table.declare("y", integerKind, 2));
  EXPECT_EQ(table.indexOf("y"), 2) << "indices are per kind over all frames";
  EXPECT_EQ(table.counter(integerKind), 3);
}
