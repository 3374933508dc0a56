// Readable zones, names and JSON strings of the verifier.
#include "verify/format.h"

#include <memory>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gta/parser.h"
#include "gtest/gtest.h"
#include "model/system.h"
#include "model/clock.h"
#include "zones/zone.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// Clocks x = 1, y = 2, z = 3 from a model read for the purpose.
class ZoneText : public testing::Test {
 protected:
  void SetUp() override {
    ParseResult parsed = parseSystem("clock x, y, z;\nprocess P { state a; init a; }\nsystem P;\n");
    ASSERT_TRUE(parsed.system) << parsed.diagnostics;
    system_ = parsed.system;
    ASSERT_EQ(ClockInfo::count(), 4);
  }

  // A zone of every clock >= 0 narrowed by x_i - x_j (<|<=) c for each (i, j, c, strict).
  struct Bound {
    int i, j, c;
    bool strict;
  };
  std::vector<std::string> text(std::initializer_list<Bound> bounds) {
    std::unique_ptr<UnpackedZone> zone(UnpackedZone::create(4, true));
    for (const Bound& b : bounds) zone->tighten(b.i, b.j, b.c, b.strict);
    zone->close();
    EXPECT_FALSE(zone->isEmpty());
    return zoneConstraints(*zone);
  }

  Ref<System> system_;
};

constexpr int x = 1, y = 2, z = 3;

}  // namespace

TEST_F(ZoneText, ClocksAtLeastZeroSayNothing) { EXPECT_THAT(text({}), IsEmpty()); }

TEST_F(ZoneText, BoundsOfOneClockFormARange) {
  EXPECT_THAT(text({{x, 0, 5, false}}), ElementsAre("x <= 5"));
  EXPECT_THAT(text({{0, x, -2, true}}), ElementsAre("x > 2"));
  EXPECT_THAT(text({{x, 0, 5, true}, {0, x, -2, false}}), ElementsAre("2 <= x < 5"));
  EXPECT_THAT(text({{x, 0, 3, false}, {0, x, -3, false}}), ElementsAre("x == 3"));
}

TEST_F(ZoneText, EqualClocksAreOneClass) {
  EXPECT_THAT(text({{x, y, 0, false}, {y, x, 0, false}}), ElementsAre("x == y"));
  EXPECT_THAT(text({{x, y, 0, false}, {y, z, 0, false}, {z, x, 0, false}, {x, 0, 4, false}}),
              ElementsAre("x == y", "x == z", "x <= 4"))
      << "a cycle of bounds 0 makes all three equal; one bound for the class";
  EXPECT_THAT(text({{y, x, 2, false}, {x, y, -2, false}}), ElementsAre("y - x == 2"));
}

TEST_F(ZoneText, DifferencesAndImpliedBounds) {
  EXPECT_THAT(text({{x, y, 2, false}, {y, x, 1, true}}), ElementsAre("-1 < x - y <= 2"));
  // y <= x <= 3: y <= 3 follows and is left out.
  EXPECT_THAT(text({{x, 0, 3, false}, {y, x, 0, false}}), ElementsAre("x <= 3", "x >= y"));
  EXPECT_THAT(text({{x, y, 0, true}}), ElementsAre("x < y"));
}

TEST_F(ZoneText, PackedZonesReadTheSame) {
  std::unique_ptr<UnpackedZone> zone(UnpackedZone::create(4, true));
  zone->tighten(x, 0, 5, false);
  zone->tighten(y, x, 0, false);
  zone->tighten(x, y, 0, false);
  zone->close();
  std::unique_ptr<PackedZone> packed(zone->pack());
  EXPECT_EQ(zoneConstraints(*packed), zoneConstraints(*zone));
  EXPECT_THAT(zoneConstraints(*packed), ElementsAre("x == y", "x <= 5"));
}

TEST(JsonString, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(jsonString("plain"), "\"plain\"");
  EXPECT_EQ(jsonString("a \"b\" \\c"), "\"a \\\"b\\\" \\\\c\"");
  EXPECT_EQ(jsonString("l1\nl2\tt\r"), "\"l1\\nl2\\tt\\r\"");
  EXPECT_EQ(jsonString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(jsonString(std::string("a\0b", 3)), "\"a\\u0000b\"");
}

TEST(JsonString, CopiesWellFormedUtf8AndEscapesEveryOtherByte) {
  struct Case {
    const char *in, *out;
  } cases[] = {
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
      {"\xff\xfe", "\"\\u00ff\\u00fe\""},            // never in UTF-8
      {"\xc3(", "\"\\u00c3(\""},                       // a lead byte without its continuation
      {"\xc0\xaf", "\"\\u00c0\\u00af\""},           // an overlong '/'
      {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},  // a surrogate
      {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},  // beyond U+10FFFF
      {"\xe2\x82", "\"\\u00e2\\u0082\""},           // cut short by the end
  };
  for (const Case& c : cases) EXPECT_EQ(jsonString(c.in), c.out) << c.in;
}

