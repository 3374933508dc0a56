// Tests of the decision-diagram library and its conversions from and to zones against
// brute-force membership on grids of valuations.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"
#include "tests/support/cdd_fixture.h"

namespace {

constexpr int maxClocks = 4;

// Points of n clocks over [0, top] in eighths with the fractional parts 0, 1/8, 1/4, 1/2 and 3/4:
// enough to meet every region of up to four clocks, so for sets built from zones with integer
// constants below top, every non-empty part has such a point. Clocks above n are 0. Eighths
// keep the diagrams' floating-point membership exact.
constexpr int unit = 8;
std::vector<Point> regionPoints(int n, int top) {
  std::vector<int> values;
  for (int k = 0; k <= top * unit; ++k)
    if (k % 8 != 3 && k % 8 != 5 && k % 8 != 7) values.push_back(k);
  std::vector<Point> points = grid(n + 1, values);
  for (Point& p : points) p.resize(maxClocks + 1);
  return points;
}

using Bits = std::vector<char>;

template <class Set>
Bits bitsOf(const Set& set, const std::vector<Point>& points) {
  Bits bits(points.size());
  for (std::size_t k = 0; k < points.size(); ++k) bits[k] = contains(set, points[k], unit);
  return bits;
}

// The first point where the two sets differ, or "" when they agree.
std::string difference(const Bits& a, const Bits& b, const std::vector<Point>& points) {
  for (std::size_t k = 0; k < a.size(); ++k)
    if (a[k] != b[k]) {
      std::string s = "(";
      for (int v : points[k]) s += std::to_string(double(v) / unit) + " ";
      return s + ")";
    }
  return "";
}

bool none(const Bits& bits) { return std::find(bits.begin(), bits.end(), 1) == bits.end(); }

int pick(std::mt19937& rng, int lo, int hi) { return std::uniform_int_distribution(lo, hi)(rng); }

// A random non-empty zone over n clocks with constants below top, every clock bounded.
ZonePtr boundedZone(std::mt19937& rng, int n, int top) {
  for (;;) {
    ZonePtr z(UnpackedZone::create(n + 1, true));
    for (int c = 1; c <= n; ++c) {
      int up = pick(rng, 1, top - 1);
      z->tighten(c, 0, up, pick(rng, 0, 1));
      if (pick(rng, 0, 2) == 0) z->tighten(0, c, -pick(rng, 0, up), pick(rng, 0, 1));
    }
    for (int c = 1; c <= n; ++c)
      for (int d = 1; d <= n; ++d)
        if (c != d && pick(rng, 0, 3) == 0)
          z->tighten(c, d, pick(rng, -top + 1, top - 1), pick(rng, 0, 1));
    z->fullClose();
    if (!z->isEmpty()) return z;
  }
}

// A random set built from random zones, with its grid membership. inBox: the set lies inside
// the bounded zones it was made of, so every non-empty part of it shows on the grid.
struct Built {
  Cdd d;
  Bits bits;
  bool inBox;
};

Built randomSet(std::mt19937& rng, int n, int top, const std::vector<Point>& points, int depth) {
  if (depth == 0 || pick(rng, 0, 3) == 0) {
    ZonePtr z = boundedZone(rng, n, top);
    return {cddOf(*z), bitsOf(*z, points), true};
  }
  Built a = randomSet(rng, n, top, points, depth - 1);
  Built b = randomSet(rng, n, top, points, depth - 1);
  Bits bits(points.size());
  const int op = pick(rng, 0, 4);
  for (std::size_t k = 0; k < bits.size(); ++k) {
    bool x = a.bits[k], y = b.bits[k];
    bits[k] = op == 0 ? x && y : op == 1 ? x || y : op == 2 ? x && !y : op == 3 ? x != y : !x;
  }
  switch (op) {
    case 0:
      return {a.d & b.d, bits, a.inBox || b.inBox};
    case 1:
      return {a.d | b.d, bits, a.inBox && b.inBox};
    case 2:
      return {a.d - b.d, bits, a.inBox};
    case 3:
      return {a.d ^ b.d, bits, a.inBox && b.inBox};
    default:
      return {!a.d, bits, false};
  }
}

class Diagrams : public DiagramTest {
 protected:
  Diagrams() : DiagramTest({"x", "y", "z", "w"}) {}
};

class OneClock : public DiagramTest {
 protected:
  OneClock() : DiagramTest({"x"}) {}
};

TEST_F(Diagrams, ZoneGivesExactlyItsValuations) {
  EXPECT_TRUE(cddOf("").isTrue());
  EXPECT_TRUE(cddOf("x >= 0, y >= 0").isTrue());
  EXPECT_TRUE(cddOf("x <= 2, x >= 3").isFalse());
  auto points = regionPoints(maxClocks, 3);
  for (const char* text :
       {"x <= 3", "x > 1, x < 2", "x == 2, y - x == 1", "x - y < 1, y - x <= 2, w > 0",
        "x - y == 0, y - z == 0", "x >= 1, y >= 1, z >= 1, x <= 3, x - z > 1",
        "x > 1, x < 2, y <= 0", "x == 0, y == 0, z == 0",
        "x - y <= 0, y - z <= 0, z - x <= 0, x <= 2, w - z < 1"}) {
    ZonePtr zone = zoneOf(text);
    EXPECT_EQ(difference(bitsOf(cddOf(*zone), points), bitsOf(*zone, points), points), "") << text;
  }
}

// A contradiction that only a path's closure shows: x - y >= 2, y >= 1 and x <= 2 sit on three
// levels, and x >= y + 2 >= 3 > 2.
TEST_F(Diagrams, ReduceFindsContradictionsAlongAPath) {
  Cdd e = cddOf("x - y >= 2") & cddOf("y >= 1, z <= 4") & cddOf("x <= 2");
  EXPECT_FALSE(e.isFalse());
  EXPECT_TRUE(Cdd::reduce(e).isFalse());
  Cdd f = cddOf("x <= 1") & cddOf("y - x >= 2");  // with y <= 2 exactly x = 0, y = 2 is left
  EXPECT_TRUE(contains(Cdd::reduce(f & cddOf("y <= 2")), {0, 0, 2, 0, 0}, 1));
  EXPECT_TRUE(Cdd::reduce(f & cddOf("y < 2")).isFalse());
}

TEST_F(Diagrams, RandomSetsMatchBruteForceAndReduceDecidesEmptiness) {
  std::mt19937 rng(20240611);
  const int tops[] = {0, 4, 4, 3, 3}, trials[] = {0, 300, 150, 60, 12};
  int emptyNonTrivial = 0;
  for (int n = 1; n <= maxClocks; ++n) {
    auto points = regionPoints(n, tops[n]);
    for (int t = 0; t < trials[n]; ++t) {
      SCOPED_TRACE(testing::Message() << n << " clocks, trial " << t);
      Built b = randomSet(rng, n, tops[n], points, 3);
      ASSERT_FALSE(b.d.isNull());
      ASSERT_EQ(difference(bitsOf(b.d, points), b.bits, points), "");
      Cdd r = Cdd::reduce(b.d);
      ASSERT_EQ(difference(bitsOf(r, points), b.bits, points), "") << "reduce changed it";
      EXPECT_TRUE(!r.isFalse() || none(b.bits));
      EXPECT_TRUE(!b.inBox || r.isFalse() == none(b.bits));
      if (r.isFalse() && !b.d.isFalse()) ++emptyNonTrivial;
    }
  }
  EXPECT_GT(emptyNonTrivial, 0);  // reduce, not apply, had to find some of the empty sets
}

TEST_F(Diagrams, ZoneMinusItsCoveringPartsReducesToFalse) {
  std::mt19937 rng(7);
  int notFalseBeforeReduce = 0;
  for (int n = 1; n <= maxClocks; ++n)
    for (int t = 0; t < 40; ++t) {
      ZonePtr z = boundedZone(rng, n, 4);
      // Cut z by two random constraints into up to four parts that cover it.
      Cdd rest = cddOf(*z);
      std::vector<ZonePtr> parts;
      parts.push_back(std::move(z));
      for (int cut = 0; cut < 2; ++cut) {
        int i = pick(rng, 0, n), j = pick(rng, 0, n);
        if (i == j) continue;
        std::int32_t raw = makeBound(pick(rng, -3, 3), pick(rng, 0, 1));
        std::vector<ZonePtr> next;
        for (const ZonePtr& p : parts) {
          next.emplace_back(p->copy())->tightenRaw(i, j, raw);
          next.emplace_back(p->copy())->tightenRaw(j, i, 1 - raw);  // the complement
        }
        parts = std::move(next);
      }
      for (const ZonePtr& p : parts) rest = rest - cddOf(*p);
      if (!rest.isFalse()) ++notFalseBeforeReduce;
      EXPECT_TRUE(Cdd::reduce(rest).isFalse()) << n << " clocks, trial " << t;
    }
  EXPECT_GT(notFalseBeforeReduce, 0);
}

TEST_F(Diagrams, ZonesOfGivesClosedDisjointZonesWhoseUnionIsTheSet) {
  std::mt19937 rng(5);
  const int n = 3;
  auto points = regionPoints(n, 3);
  for (int t = 0; t < 40; ++t) {
    Built b = randomSet(rng, n, 3, points, 3);
    auto zones = zonesOf(b.d);
    for (const auto& z : zones) {
      ASSERT_FALSE(z->isEmpty());
      ZonePtr closed(z->copy());
      closed->fullClose();
      ASSERT_EQ(closed->relation(z.get()), Zone::equal) << "not closed";
    }
    for (std::size_t k = 0; k < points.size(); ++k) {
      int hits = 0;
      for (const auto& z : zones) hits += contains(*z, points[k], unit);
      ASSERT_LE(hits, 1) << "zones overlap, trial " << t;
      ASSERT_EQ(hits == 1, bool(b.bits[k])) << "trial " << t;
    }
  }
  EXPECT_TRUE(zonesOf(Cdd::falseCdd()).empty());
  EXPECT_TRUE(zonesOf(Cdd()).empty());
  auto all = zonesOf(Cdd::trueCdd());
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0]->relation(zoneOf("").get()), Zone::equal);
}

TEST_F(Diagrams, CollectionUnderLoadKeepsLiveDiagramsIntact) {
  std::mt19937 rng(11);
  const int n = 3;
  auto points = regionPoints(n, 3);
  std::vector<Built> kept;
  int round = 0;
  for (; round < 20000 && (Cdd::stats().collections < 3 || round % 5 != 0); ++round) {
    Built b = randomSet(rng, n, 3, points, 3);
    if (round % 7 == 0) kept.push_back(b);
  }
  ASSERT_GE(Cdd::stats().collections, 3) << "after " << round << " rounds";
  for (const Built& b : kept) {
    ASSERT_EQ(difference(bitsOf(b.d, points), b.bits, points), "");
    ASSERT_EQ(difference(bitsOf(Cdd::reduce(b.d), points), b.bits, points), "");
  }
  // Dead nodes found again are revived: rebuilding after a collection still shares.
  Cdd once = cddOf("x <= 2, y - x < 1") | cddOf("z > 1");
  EXPECT_EQ(once, cddOf("x <= 2, y - x < 1") | cddOf("z > 1"));
  CddStats s = Cdd::stats();
  EXPECT_EQ(s.allocated, s.live + s.dead);
}

TEST_F(Diagrams, DroppedDiagramsDieAndAreRevivedWhenFoundAgain) {
  Cdd::Handle before = (cddOf("x <= 2, y > 1") | cddOf("z == 3")).handle();
  EXPECT_EQ(Cdd::stats().live, 0);
  EXPECT_GT(Cdd::stats().dead, 0);
  Cdd d = cddOf("x <= 2, y > 1") | cddOf("z == 3");
  EXPECT_EQ(d.handle(), before);
  EXPECT_EQ(d.referenceCount(), 1);
}

TEST_F(Diagrams, SaturatedCountsStickAndTheNodeIsNeverFreed) {
  const char* const zone = "x <= 2, y - x < 1";
  {
    Cdd d = cddOf(zone);
    std::vector<Cdd> copies(1100, d);
    EXPECT_EQ(d.referenceCount(), 1023);
  }
  Cdd::Handle h = cddOf(zone).handle();
  EXPECT_EQ(cddOf(zone).referenceCount(), 1023);
  // Churn until collections run: the node stays where it is.
  for (int c = 0; c < 20000 && Cdd::stats().collections < 2; ++c)
    (void)cddOf("x == " + std::to_string(c % 9000) + ", y <= " + std::to_string(c));
  EXPECT_GE(Cdd::stats().collections, 2);
  EXPECT_EQ(cddOf(zone).handle(), h);
  library_.restart(ClockInfo::count());  // the saturated node lives on
}

// The union of the points x == lo .. x == hi - 1, split in halves so that every level of the
// split makes nodes of a different size.
Cdd pointsOf(int lo, int hi) {
  if (hi - lo == 1) return cddOf("x == " + std::to_string(lo));
  int mid = (lo + hi) / 2;
  return pointsOf(lo, mid) | pointsOf(mid, hi);
}

TEST_F(OneClock, ALevelGetsAllTheIntervalsItNeeds) {
  // 4100 points and the 4101 gaps around them: one node of 8201 intervals, larger than a page.
  constexpr int points = 4100;
  Cdd all = pointsOf(0, points);
  for (int x : {0, 1, 63, 64, 65, 2049, 4098, points - 1}) {
    EXPECT_TRUE(contains(all, {0, 2 * x}, 2)) << x;
    EXPECT_FALSE(contains(all, {0, 2 * x + 1}, 2)) << x;
  }
  EXPECT_FALSE(contains(all, {0, points}, 1));
  EXPECT_TRUE((all & !pointsOf(0, points)).isFalse());  // the same node again
}

TEST_F(OneClock, AnOperationBeyondThePageLimitThrowsAndLeavesTheLibraryUsable) {
  Cdd kept = pointsOf(0, 8);
  const long live = Cdd::stats().live;
  Cdd::setPageLimit(std::size_t(Cdd::stats().pages) + 1);  // + the library's own page
  EXPECT_THROW(pointsOf(0, 200), CheckError);
  EXPECT_EQ(Cdd::stats().live, live);  // the unfinished levels were released
  Cdd::setPageLimit(65536);
  Cdd more = kept | pointsOf(8, 200);
  EXPECT_TRUE(contains(more, {0, 7}, 1) && contains(more, {0, 8}, 1));
}

int rehashReports = 0, lastBuckets = 0;
void countRehash(int, int, int buckets, int, int, double, double) {
  ++rehashReports;
  lastBuckets = buckets;
}

TEST_F(OneClock, RehashKeepsEveryNodeFindable) {
  rehashReports = 0;
  Cdd::setRehashHandler(countRehash);
  std::vector<Cdd> all;
  for (int c = 0; c < 3000; ++c) all.push_back(cddOf("x == " + std::to_string(c)));
  EXPECT_EQ(rehashReports, 2);  // more than 1024 and 2048 nodes at one level
  EXPECT_EQ(lastBuckets, 1024);
  for (int c = 0; c < 3000; ++c)
    ASSERT_EQ(cddOf("x == " + std::to_string(c)), all[std::size_t(c)]) << c;
  Cdd::setRehashHandler(nullptr);
}

TEST(Matrix, IncrementalConstraintsAgreeWithFullClosure) {
  std::mt19937 rng(3);
  for (int t = 0; t < 500; ++t) {
    int dim = pick(rng, 1, 6);
    CddMatrixPtr a(CddMatrix::create(dim)), b(CddMatrix::create(dim));
    a->init();
    b->init();
    bool feasible = true;
    for (int c = 0; c < 6 && dim > 1; ++c) {
      int i = pick(rng, 0, dim - 1), j = pick(rng, 0, dim - 1);
      if (i == j) continue;
      std::int32_t raw = makeBound(pick(rng, -5, 5), pick(rng, 0, 1));
      feasible = a->constrain(i, j, raw) && feasible;
      if (raw < b->get(i, j)) b->set(i, j, raw);
    }
    b->close();
    b->close();  // nothing left to do
    EXPECT_EQ(!feasible, b->isEmpty()) << "trial " << t;
    for (int i = 0; feasible && i < dim; ++i)
      for (int j = 0; j < dim; ++j) ASSERT_EQ(a->get(i, j), b->get(i, j)) << t;
  }
}

}  // namespace
