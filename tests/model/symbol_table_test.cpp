#include "model/symbol_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "base/error.h"

using testing::StrEq;

TEST(SymbolNames, KeepSixtyThreeCharacters) {
  SymbolTable table;
  std::string name(70, 'a'), sameStart = std::string(63, 'a') + "bcdefgh";
  ASSERT_TRUE(table.declare(name.c_str(), integerKind, 7));
  EXPECT_EQ(std::string(table.find(name.c_str()).name), std::string(63, 'a'));
  EXPECT_EQ(table.extraOf(sameStart.c_str()), 7);
  EXPECT_FALSE(table.declare(sameStart.c_str(), clockKind, 0)) << "same first 63 characters";
  EXPECT_EQ(table.kindOf(std::string(62, 'a').c_str()), -1);
  Symbol assigned;
  assigned = Symbol(name.c_str(), 0, 0, 0);
  EXPECT_EQ(std::string(assigned.name).size(), 63u);
}

TEST(SymbolFrames, ProcessNameShadowsGlobalWhileActive) {
  SymbolTable table;
  ASSERT_TRUE(table.declare("x", integerKind, 0));
  std::int32_t frame = table.newFrame();
  ASSERT_TRUE(table.declare("x", clockKind, 3)) << "a process may redeclare a global name";
  EXPECT_EQ(table.extraOf("x"), 3);
  table.popFrame();
  EXPECT_EQ(table.kindOf("x"), integerKind);
  table.pushFrame(frame);
  EXPECT_EQ(table.kindOf("x"), clockKind);
  table.popFrame();
  EXPECT_EQ(table.findInFrame("x", frame).kind, clockKind);
  // The global frame cannot be popped.
  table.popFrame();
  table.popFrame();
  EXPECT_EQ(table.kindOf("x"), integerKind);
}

TEST(SymbolFrames, InactiveFrameIsInvisibleByNameButFoundByKindAndIndex) {
  SymbolTable table;
  table.declare("a", clockKind, 0);
  table.newFrame();
  table.declare("b", clockKind, 0);
  table.popFrame();
  table.newFrame();
  table.declare("c", clockKind, 0);
  table.popFrame();
  EXPECT_EQ(table.kindOf("b"), -1);
  EXPECT_EQ(table.extraOf("b"), -1);
  EXPECT_FALSE(table.find("b").isFound());
  table.find("b").extra = 12;  // the not-found symbol cannot be corrupted
  EXPECT_EQ(table.extraOf("b"), -1);
  EXPECT_THAT(table.find(clockKind, 1).name, StrEq("b"));
  EXPECT_THAT(table.findInFrame(clockKind, 2, 2).name, StrEq("c"));
  EXPECT_EQ(table.findInFrame(clockKind, 2, 1).kind, -1);
  EXPECT_EQ(table.find(clockKind, 3).kind, -1);
  EXPECT_EQ(table.find(integerKind, 0).index, -1);
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
  EXPECT_EQ(table.indexOf("c"), 0);
  EXPECT_EQ(table.counter(integerKind), 3);
  // insert() places a symbol without consulting the counters.
  EXPECT_TRUE(table.insert(Symbol("s", stateKind, 9, 1)));
  EXPECT_FALSE(table.insert(Symbol("s", stateKind, 10, 1)));
  EXPECT_EQ(table.counter(stateKind), 0);
  EXPECT_EQ(table.indexOf("s"), 9);
}

