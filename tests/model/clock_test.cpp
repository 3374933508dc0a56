#include "model/clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "model/global_state.h"
#include "model/symbol_table.h"
#include "base/error.h"
#include "tests/support/zone_builder.h"

using testing::ElementsAre;
using testing::StrEq;
using testing::ThrowsMessage;

namespace {

template <class Label>
std::string printedLabel(const Label& label) {
  std::ostringstream out;
  label.print(out);
  return out.str();
}

std::vector<DiagonalBound> boundsOf(const DiagonalGuards& set) {
  return std::vector<DiagonalBound>(set.begin(), set.end());
}

TEST(ClockTable, NamesComeFromSymbolsAndLocalClocksNameTheirProcess) {
  ClockScope clocks(0);
  SymbolTable& names = symbols();
  names.declare("g", clockKind, 0);
  std::int32_t g = names.find("g").index;
  names.declare("P", processKind, (2 << 16) | 1);
  names.newFrame();
  names.declare("x", clockKind, 0);
  std::int32_t px = names.find("x").index;
  names.popFrame();
  names.declare("Q", processKind, (5 << 16) | 2);
  names.newFrame();
  names.declare("x", clockKind, 0);
  std::int32_t qx = names.find("x").index;
  names.popFrame();
  std::int32_t p = names.find("P").index, q = names.find("Q").index;

  EXPECT_EQ(ClockInfo::addClock(g, -1, ""), 1);
  EXPECT_EQ(ClockInfo::addClock(px, p, ""), 2);
  EXPECT_EQ(ClockInfo::addClock(qx, q, nullptr), 3);
  EXPECT_STREQ(ClockInfo::name(1), "g");
  EXPECT_STREQ(ClockInfo::name(2), "P.x");
  EXPECT_STREQ(ClockInfo::name(3), "Q.x");
  EXPECT_EQ(ClockInfo::clock(2).owner, -1) << "unresolved until the system is read";
  ClockInfo::resolveOwners();
  EXPECT_EQ(ClockInfo::clock(1).owner, -1);
  EXPECT_EQ(ClockInfo::clock(2).owner, 2);
  EXPECT_EQ(ClockInfo::clock(3).owner, 5);
  EXPECT_TRUE(ClockInfo::isReference(0));
  EXPECT_FALSE(ClockInfo::isReference(2));
  // Numbers outside the table still print.
  EXPECT_STREQ(ClockInfo::name(7), "t(7)");
  EXPECT_FALSE(ClockInfo::isReference(7));
}

TEST(ClockGuardLabel, PrintedForms) {
  ClockScope clocks({"x", "y"});
  struct Case {
    ClockGuard guard;
    const char* text;
  } cases[] = {{ClockGuard(1, 0, 5, true), "x<5"},       {ClockGuard(0, 1, -3, true), "3<x"},
               {ClockGuard(0, 1, -3, false), "3<=x"},    {ClockGuard(1, 2, 2, false), "x-y<=2"},
               {ClockGuard(1, 2, -2, true), "x-y<-2"},   {ClockGuard(0, 0, 0, false), ""},
               {ClockGuard(1, 0, infinityValue, true), "x<inf"}};
  for (const Case& c : cases) EXPECT_EQ(printedLabel(c.guard), c.text);
}

TEST(ClockGuardLabel, NegationFlipsStrictness) {
  ClockGuard le(1, 2, 3, false), lt(1, 2, 3, true);
  EXPECT_EQ(le.negation().first(), 2);
  EXPECT_EQ(le.negation().second(), 1);
  EXPECT_EQ(le.negation().rawBound(), makeBound(-3, true));
  EXPECT_EQ(lt.negation().rawBound(), makeBound(-3, false));
}

TEST(CollectConstants, BoundsAgainstTheReferenceClockRaiseTheOtherClock) {
  ClockScope clocks({"x", "y"});
  std::vector<std::int32_t> max = ClockInfo::zeroConstants();
  DiagonalGuards diagonals;
  ClockGuard(0, 1, -3, true).collectConstants(max, diagonals);  // x > 3
  ClockGuard(2, 0, 2, false).collectConstants(max, diagonals);  // y <= 2
  ClockGuard(2, 0, 1, true).collectConstants(max, diagonals);   // smaller: no change
  EXPECT_THAT(max, ElementsAre(0, 3, 2));
  EXPECT_TRUE(diagonals.empty());
}

TEST(CollectConstants, DiagonalGuardsEnterTheSetWithTheirNegation) {
  ClockScope clocks({"x", "y"});
  std::vector<std::int32_t> max = ClockInfo::zeroConstants();
  DiagonalGuards diagonals;
  ClockGuard(1, 2, 0, false).collectConstants(max, diagonals);  // x - y <= 0
  EXPECT_THAT(max, ElementsAre(0, 0, 0));
  EXPECT_THAT(boundsOf(diagonals), ElementsAre(DiagonalBound{1, 2, zeroBound},
                                               DiagonalBound{2, 1, makeBound(0, true)}));
  ClockGuard(1, 2, 0, false).collectConstants(max, diagonals);
  EXPECT_EQ(diagonals.size(), 2u) << "no duplicates";
  ClockGuard(1, 2, 3, true).collectConstants(max, diagonals);    // x - y < 3
  ClockGuard(2, 1, -4, false).collectConstants(max, diagonals);  // y - x <= -4
  EXPECT_THAT(max, ElementsAre(0, 4, 0));
  EXPECT_THAT(boundsOf(diagonals),
              ElementsAre(DiagonalBound{1, 2, zeroBound}, DiagonalBound{1, 2, makeBound(3, true)},
                          DiagonalBound{1, 2, makeBound(4, true)},
                          DiagonalBound{2, 1, makeBound(-4, false)},
                          DiagonalBound{2, 1, makeBound(-3, false)},
                          DiagonalBound{2, 1, makeBound(0, true)}));
  EXPECT_TRUE(diagonals.contains(2, 1, makeBound(-3, false)));
  EXPECT_FALSE(diagonals.contains(2, 1, makeBound(-3, true)));
}

TEST(CollectClocks, GuardsAddTestedClocksResetsAddResetClocks) {
  ClockSet tested, reset;
  ClockGuard(0, 2, -1, true).collectClocks(0, tested, reset);
  ClockGuard(3, 1, 4, false).collectClocks(0, tested, reset);
  ClockAssign(4, 0).collectClocks(0, tested, reset);
  EXPECT_THAT(tested, ElementsAre(0, 1, 2, 3));
  EXPECT_THAT(reset, ElementsAre(4));
}

class ClockLabelsOnStates : public testing::Test {
protected:
  ClockScope clocks{{"x", "y"}};
  GlobalState* state = GlobalState::create(1);

  ClockLabelsOnStates() { state->setZone(zoneOf("x <= 5, y <= 5").release()); }
  ~ClockLabelsOnStates() override { GlobalState::destroy(state); }
  UnpackedZone& zone() { return *static_cast<UnpackedZone*>(state->zone()); }
};

TEST_F(ClockLabelsOnStates, GuardTightensAndLeavesClosingToTheCaller) {
  EXPECT_TRUE(ClockGuard(1, 0, 3, false).apply(state));
  EXPECT_TRUE(zone().isDirty());
  EXPECT_TRUE(state->closeAndCheck());
  EXPECT_EQ(zone().relation(zoneOf("x <= 3, y <= 5").get()), Zone::equal);
  EXPECT_FALSE(ClockGuard(0, 1, -4, false).apply(state));  // x >= 4
  EXPECT_FALSE(state->closeAndCheck());
}

TEST_F(ClockLabelsOnStates, ResetAndItsBackwardStep) {
  ClockAssign reset(1, 2);
  EXPECT_EQ(reset.kind(), 4);
  EXPECT_EQ(printedLabel(reset), "x:=2");
  reset.apply(state);
  EXPECT_EQ(zone().relation(zoneOf("x == 2, y <= 5").get()), Zone::equal);
  EXPECT_TRUE(reset.constrain(state));
  reset.release(state);
  EXPECT_EQ(zone().relation(zoneOf("y <= 5").get()), Zone::equal);
  ZonePtr other = zoneOf("x >= 3");
  EXPECT_FALSE(reset.constrain(other.get()));
  EXPECT_TRUE(other->isEmpty());
  ZonePtr freed = zoneOf("x == 1, y - x <= 1");
  reset.release(freed.get());
  EXPECT_EQ(freed->relation(zoneOf("y <= 2").get()), Zone::equal);
}

}  // namespace
