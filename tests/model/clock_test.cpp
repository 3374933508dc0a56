#include "model/clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/zone_builder.h"

using testing::ElementsAre;

namespace {

template <class Label>
std::string printedLabel(const Label& label) {
  std::ostringstream out;
  label.print(out);
  return out.str();
}

TEST(ClockLabels, PrintedForms) {
  ClockScope clocks({"x", "y"});
  struct Case {
    ClockGuard guard;
    const char* text;
  } cases[] = {{ClockGuard(1, 0, 5, true), "x<5"},
               {ClockGuard(0, 1, -3, true), "3<x"},
               {ClockGuard(0, 1, -3, false), "3<=x"},
               {ClockGuard(1, 2, 2, false), "x-y<=2"},
               {ClockGuard(1, 2, -2, true), "x-y<-2"},
               {ClockGuard(0, 0, 0, false), ""},
               {ClockGuard(1, 0, infinityValue, true), "x<inf"}};
  for (const Case& c : cases) EXPECT_EQ(printedLabel(c.guard), c.text);
  EXPECT_EQ(printedLabel(ClockAssign(1, 2)), "x:=2");
}

// Bounds against the reference clock raise the other clock's maximal constant; a difference
// guard enters the set of diagonals with its negation, once.
TEST(CollectConstants, MaximalConstantsAndDiagonals) {
  ClockScope clocks({"x", "y"});
  std::vector<std::int32_t> max = ClockInfo::zeroConstants();
  DiagonalGuards diagonals;
  ClockGuard(0, 1, -3, true).collectConstants(max, diagonals);  // x > 3
  ClockGuard(2, 0, 2, false).collectConstants(max, diagonals);  // y <= 2
  ClockGuard(2, 0, 1, true).collectConstants(max, diagonals);   // smaller: no change
  EXPECT_THAT(max, ElementsAre(0, 3, 2));
  EXPECT_TRUE(diagonals.empty());
  max = ClockInfo::zeroConstants();
  ClockGuard(1, 2, 0, false).collectConstants(max, diagonals);  // x - y <= 0
  ClockGuard(1, 2, 0, false).collectConstants(max, diagonals);
  ClockGuard(1, 2, 3, true).collectConstants(max, diagonals);    // x - y < 3
  ClockGuard(2, 1, -4, false).collectConstants(max, diagonals);  // y - x <= -4
  EXPECT_THAT(max, ElementsAre(0, 4, 0));
  EXPECT_THAT(std::vector<DiagonalBound>(diagonals.begin(), diagonals.end()),
              ElementsAre(DiagonalBound{1, 2, zeroBound}, DiagonalBound{1, 2, makeBound(3, true)},
                          DiagonalBound{1, 2, makeBound(4, true)},
                          DiagonalBound{2, 1, makeBound(-4, false)},
                          DiagonalBound{2, 1, makeBound(-3, false)},
                          DiagonalBound{2, 1, makeBound(0, true)}));
  EXPECT_TRUE(diagonals.contains(2, 1, makeBound(-3, false)));
  EXPECT_FALSE(diagonals.contains(2, 1, makeBound(-3, true)));
}

}  // namespace
