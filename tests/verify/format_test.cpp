// Readable zones, JSON strings and the progress line of the verifier.
#include "verify/format.h"

#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/zone_builder.h"
#include "verify/progress.h"
#include "zones/zone.h"

namespace {

constexpr int x = 1, y = 2, z = 3;

// A bound x_i - x_j (<|<=) c.
struct Bound {
  int i, j, c;
  bool strict;
};

TEST(ZoneText, ConstraintsOfZonesInBothForms) {
  ClockScope clocks{"x", "y", "z"};
  struct Case {
    std::vector<Bound> bounds;
    std::vector<std::string> text;
  } cases[] = {
      {{}, {}},  // clocks at least zero say nothing
      {{{x, 0, 5, false}}, {"x <= 5"}},
      {{{0, x, -2, true}}, {"x > 2"}},
      {{{x, 0, 5, true}, {0, x, -2, false}}, {"2 <= x < 5"}},
      {{{x, 0, 3, false}, {0, x, -3, false}}, {"x == 3"}},
      // Equal clocks are one class with one bound.
      {{{x, y, 0, false}, {y, x, 0, false}}, {"x == y"}},
      {{{x, y, 0, false}, {y, z, 0, false}, {z, x, 0, false}, {x, 0, 4, false}},
       {"x == y", "x == z", "x <= 4"}},
      {{{y, x, 2, false}, {x, y, -2, false}}, {"y - x == 2"}},
      {{{x, 0, 5, false}, {y, x, 0, false}, {x, y, 0, false}}, {"x == y", "x <= 5"}},
      // Differences; y <= x <= 3 implies y <= 3, which is left out.
      {{{x, y, 2, false}, {y, x, 1, true}}, {"-1 < x - y <= 2"}},
      {{{x, 0, 3, false}, {y, x, 0, false}}, {"x <= 3", "x >= y"}},
      {{{x, y, 0, true}}, {"x < y"}},
  };
  for (const Case& c : cases) {
    std::unique_ptr<UnpackedZone> zone(UnpackedZone::create(4, true));
    for (const Bound& b : c.bounds) zone->tighten(b.i, b.j, b.c, b.strict);
    zone->close();
    ASSERT_FALSE(zone->isEmpty());
    EXPECT_EQ(zoneConstraints(*zone), c.text);
    std::unique_ptr<PackedZone> packed(zone->pack());
    EXPECT_EQ(zoneConstraints(*packed), c.text);
  }
}

TEST(JsonString, EscapesControlCharactersAndEveryByteOutsideWellFormedUtf8) {
  struct Case {
    std::string in;
    const char* out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a \"b\" \\c", "\"a \\\"b\\\" \\\\c\""},
      {"l1\nl2\tt\r", "\"l1\\nl2\\tt\\r\""},
      {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
      {std::string("a\0b", 3), "\"a\\u0000b\""},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
      {"\xff\xfe", "\"\\u00ff\\u00fe\""},                        // never in UTF-8
      {"\xc3(", "\"\\u00c3(\""},                                 // a lead byte alone
      {"\xc0\xaf", "\"\\u00c0\\u00af\""},                        // an overlong '/'
      {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},             // a surrogate
      {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},  // beyond U+10FFFF
      {"\xe2\x82", "\"\\u00e2\\u0082\""},                        // cut short by the end
  };
  for (const Case& c : cases) EXPECT_EQ(jsonString(c.in), c.out) << c.in;
}

TEST(ProgressLine, NamesEveryCounterAndTheRate) {
  EXPECT_EQ(CheckProgress::lineText(1000, 400, 25, 2.0),
            "explored 1000, stored 400, waiting 25, 500 states/s, 2.0 s");
  EXPECT_EQ(CheckProgress::lineText(0, 0, 0, 0.0),
            "explored 0, stored 0, waiting 0, 0 states/s, 0.0 s")
      << "no division by a zero time";
  EXPECT_EQ(CheckProgress::lineText(12345678901ull, 1, 2, 10.0),
            "explored 12345678901, stored 1, waiting 2, 1234567890 states/s, 10.0 s");
}

}  // namespace
