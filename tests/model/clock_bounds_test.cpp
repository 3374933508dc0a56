// Lower and upper clock bounds of a hand-worked network.
#include "model/clock_bounds.h"

#include "gtest/gtest.h"
#include "net_builder.h"

namespace {

using namespace net;

// P over the shared clocks x and y:
//   A {x <= 5} --x >= 2, y := 0--> B --y > 3--> C --x < 7, x := 0--> A,   C --y <= 9--> D
// Q over x, resetting it:  q0 --x := 0--> q1 --x >= 4--> q0
// Worked by hand: x's upper bound 7 reaches A and B from C; the reset on C -> A keeps A's
// bounds out of C. y's bounds stop at the reset on A -> B.
TEST(ClockBounds, HandWorkedNetwork) {
  resetTables();
  const int x = clock("x"), y = clock("y");
  Automaton p("P");
  const int a = p.location("A", false, false, {atMost(x, 5)});
  const int b = p.location("B"), c = p.location("C"), d = p.location("D");
  p.edge(a, b, 0, {atLeast(x, 2)}, {reset(y)});
  p.edge(b, c, 0, {atLeast(y, 3, true)});
  p.edge(c, a, 0, {atMost(x, 7, true)}, {reset(x)});
  p.edge(c, d, 0, {atMost(y, 9)});
  Automaton q("Q");
  const int q0 = q.location("q0"), q1 = q.location("q1");
  q.edge(q0, q1, 0, {}, {reset(x)});
  q.edge(q1, q0, 0, {atLeast(x, 4)});
  Ref<System> system = build({&p, &q});

  const ClockBounds bounds(*system, {});
  struct Row {
    int process, location, clock, lower, upper;
  };
  const Row rows[] = {
      {0, a, x, 2, 7},    {0, b, x, -1, 7},  {0, c, x, -1, 7},   {0, d, x, -1, -1},
      {0, a, y, -1, -1},  {0, b, y, 3, 9},   {0, c, y, -1, 9},   {0, d, y, -1, -1},
      {1, q0, x, -1, -1}, {1, q1, x, 4, -1}, {1, q0, y, -1, -1},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(bounds.lower(r.process, r.location, r.clock), r.lower)
        << r.process << " " << r.location << " " << r.clock;
    EXPECT_EQ(bounds.upper(r.process, r.location, r.clock), r.upper)
        << r.process << " " << r.location << " " << r.clock;
  }

  // Per location vector: the maxima over the processes, raised everywhere by the constants
  // handed in (here y's 1, as a property "y > 1" would).
  const ClockBounds raised(*system, {-1, -1, 1});
  struct Vector {
    int p, q;
    std::int32_t lowerX, upperX, lowerY, upperY;
  };
  const Vector vectors[] = {
      {a, q0, 2, 7, 1, 1},
      {a, q1, 4, 7, 1, 1},
      {b, q1, 4, 7, 3, 9},
      {d, q0, -1, -1, 1, 1},
  };
  Ref<GlobalState> state(GlobalState::create(2));
  for (const Vector& v : vectors) {
    state->setLocation(0, v.p);
    state->setLocation(1, v.q);
    raised.combine(state.get());
    EXPECT_EQ(raised.lowerBounds()[x], v.lowerX) << v.p << " " << v.q;
    EXPECT_EQ(raised.upperBounds()[x], v.upperX) << v.p << " " << v.q;
    EXPECT_EQ(raised.lowerBounds()[y], v.lowerY) << v.p << " " << v.q;
    EXPECT_EQ(raised.upperBounds()[y], v.upperY) << v.p << " " << v.q;
  }
}

}  // namespace
