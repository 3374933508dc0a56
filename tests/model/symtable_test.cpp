#include "model/symtable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "server/error.h"

using testing::StrEq;

TEST(SymbolNames, KeepSixtyThreeCharacters) {
  SymbolTable table;
  std::string name(70, 'a'), sameStart = std::string(63, 'a') + "bcdefgh";
  ASSERT_TRUE(table.declare(name.c_str(), integerKind, 7));
  EXPECT_EQ(std::string(table.find(name.c_str()).name), std::string(63, 'a'));
  EXPECT_EQ(table.extraOf(sameStart.c_str()), 7);
  EXPECT_FALSE(table.declare(sameStart.c_str(), clockKind, 0)) << "same first 63 characters";
  EXPECT_EQ(table.kindOf(std::string(62, 'a').c_str()), -1);

  Symbol copy = table.find(name.c_str());
  EXPECT_EQ(std::string(copy.name).size(), 63u);
  Symbol assigned;
  assigned = Symbol(name.c_str(), 0, 0, 0);
  EXPECT_EQ(std::string(assigned.name).size(), 63u);
}

TEST(SymbolFrames, ProcessNameShadowsGlobalWhileActive) {
  SymbolTable table;
  ASSERT_TRUE(table.declare("x", integerKind, 0));
  std::int32_t frame = table.newFrame();
  EXPECT_EQ(frame, 1);
  ASSERT_TRUE(table.declare("x", clockKind, 3)) << "a process may redeclare a global name";
  EXPECT_EQ(table.kindOf("x"), clockKind);
  EXPECT_EQ(table.extraOf("x"), 3);
  table.popFrame();
  EXPECT_EQ(table.kindOf("x"), integerKind);

  table.pushFrame(frame);
  EXPECT_EQ(table.kindOf("x"), clockKind);
  table.popFrame();
  EXPECT_EQ(table.findInFrame("x", frame).kind, clockKind);
}

TEST(SymbolFrames, InactiveFrameIsInvisibleByName) {
  SymbolTable table;
  table.newFrame();
  table.declare("local", stateKind, 2);
  table.popFrame();
  EXPECT_EQ(table.kindOf("local"), -1);
  EXPECT_EQ(table.indexOf("local"), -1);
  EXPECT_EQ(table.extraOf("local"), -1);
  EXPECT_FALSE(table.find("local").isFound());
}

TEST(SymbolFrames, GlobalFrameStaysActive) {
  SymbolTable table;
  table.declare("g", constantKind, 4);
  table.popFrame();
  table.popFrame();
  EXPECT_EQ(table.extraOf("g"), 4);
  EXPECT_EQ(table.activeFrames().size(), 1u);
}

TEST(SymbolReverseLookup, FindsSymbolsOfInactiveFrames) {
  SymbolTable table;
  table.declare("a", clockKind, 0);
  table.newFrame();
  table.declare("b", clockKind, 0);
  table.popFrame();
  table.newFrame();
  table.declare("c", clockKind, 0);
  table.popFrame();
  EXPECT_THAT(table.find(clockKind, 1).name, StrEq("b"));
  EXPECT_THAT(table.find(clockKind, 2).name, StrEq("c"));
  EXPECT_THAT(table.findInFrame(clockKind, 2, 2).name, StrEq("c"));
  EXPECT_EQ(table.findInFrame(clockKind, 2, 1).kind, -1);
  EXPECT_EQ(table.find(clockKind, 3).kind, -1);
  EXPECT_EQ(table.find(integerKind, 0).index, -1);
}

TEST(SymbolDeclare, IndicesArePerKindOverAllFrames) {
  SymbolTable table;
  table.declare("x", integerKind, 0);
  table.declare("c", clockKind, 0);
  table.newFrame();
  table.declare("y", integerKind, 1);
  EXPECT_EQ(table.indexOf("x"), 0);
  EXPECT_EQ(table.indexOf("c"), 0);
  EXPECT_EQ(table.indexOf("y"), 1);
  EXPECT_EQ(table.counter(integerKind), 2);
  EXPECT_EQ(table.counter(clockKind), 1);
  EXPECT_EQ(table.counter(channelKind), 0);
}

TEST(SymbolDeclare, RedeclarationFailsButAdvancesTheCounter) {
  SymbolTable table;
  EXPECT_TRUE(table.declare("x", integerKind, 0));
  EXPECT_FALSE(table.declare("x", integerKind, 1));
  EXPECT_EQ(table.counter(integerKind), 2);
  EXPECT_EQ(table.extraOf("x"), 0) << "the first declaration is unchanged";
  EXPECT_TRUE(table.declare("y", integerKind, 2));
  EXPECT_EQ(table.indexOf("y"), 2);
  EXPECT_EQ(table.frame(0).size(), 2u);
}

TEST(SymbolDeclare, InsertDoesNotConsultCounters) {
  SymbolTable table;
  EXPECT_TRUE(table.insert(Symbol("s", stateKind, 9, 1)));
  EXPECT_FALSE(table.insert(Symbol("s", stateKind, 10, 1)));
  EXPECT_EQ(table.counter(stateKind), 0);
  EXPECT_EQ(table.indexOf("s"), 9);
}

TEST(SymbolExtra, SetByNameAndByKindAndIndex) {
  SymbolTable table;
  table.declare("P", processKind, 0);
  table.newFrame();
  table.declare("x", clockKind, 0);
  table.popFrame();
  table.setExtra("P", 1);
  table.setExtra(clockKind, 0, 5);
  EXPECT_EQ(table.extraOf("P"), 1);
  EXPECT_EQ(table.extraOf(clockKind, 0), 5);
}

TEST(SymbolExtra, NotFoundSymbolCannotBeCorrupted) {
  SymbolTable table;
  table.find("nothing").extra = 12;
  EXPECT_EQ(table.extraOf("nothing"), -1);
}

TEST(SymbolExtraDeathTest, UnknownNameIsFatal) {
  EXPECT_EXIT(symbols().setExtra("undeclared", 1), testing::ExitedWithCode(255),
              "Fatal Error: Could not find the specified symbol\n");
  EXPECT_EXIT(symbols().setExtra(clockKind, 99, 1), testing::ExitedWithCode(255),
              "Fatal Error: Could not find the specified symbol\n");
}

TEST(SymbolDump, ListsFramesAndActiveStack) {
  SymbolTable table;
  table.declare("x", integerKind, 0);
  table.newFrame();
  table.declare("l", stateKind, 3);
  std::ostringstream out;
  table.dump(out);
  EXPECT_EQ(out.str(), "frame: #0\n<x,5,0,0>\nframe: #1\n<l,3,0,3>\nActive frames: 0, 1\n");
}

TEST(SymbolTableInstance, ResetsAndRestores) {
  SymbolTable saved = symbols();
  symbols() = SymbolTable();
  symbols().declare("kept", constantKind, 1);
  symbols().newFrame();
  SymbolTable previous = symbols();

  symbols() = SymbolTable();
  EXPECT_EQ(symbols().kindOf("kept"), -1);
  EXPECT_EQ(symbols().frameCount(), 1);
  EXPECT_EQ(symbols().counter(constantKind), 0);

  symbols() = std::move(previous);
  EXPECT_EQ(symbols().extraOf("kept"), 1);
  EXPECT_EQ(symbols().frameCount(), 2);
  symbols() = std::move(saved);
}
