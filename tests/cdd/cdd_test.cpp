// Tests of the decision-diagram library against brute-force membership on grids of valuations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cdd/cdd.h"
#include "base/error.h"

namespace {

constexpr int maxClocks = 4;  // clocks x, y, z, w are 1 to 4; 0 is the reference clock
using Valuation = std::array<double, maxClocks + 1>;

struct Constraint {
  int i, j;
  std::int32_t raw;  // x_i - x_j bounded by raw
};

bool holds(const Constraint& c, const Valuation& v) {
  double d = v[c.i] - v[c.j];
  double bound = c.raw >> 1;
  return (c.raw & 1) ? d <= bound : d < bound;
}

// A zone as the constraints it was written with; membership is read from them directly.
struct Box {
  std::vector<Constraint> constraints;
  bool contains(const Valuation& v) const {
    for (const Constraint& c : constraints)
      if (!holds(c, v)) return false;
    return true;
  }
  // The closed matrix of the zone, dimension dim; the caller destroys it.
  CddMatrix* matrix(int dim) const {
    CddMatrix* d = CddMatrix::create(dim);
    d->init();
    for (const Constraint& c : constraints)
      if (c.raw < d->get(c.i, c.j)) d->set(c.i, c.j, c.raw);
    d->close();
    return d;
  }
  Cdd diagram(int dim) const {
    CddMatrix* d = matrix(dim);
    Cdd result = Cdd::fromDBM(d);
    CddMatrix::destroy(d);
    return result;
  }
};

int clockNumber(const std::string& name) {
  static const char* names[] = {"0", "x", "y", "z", "w"};
  for (int k = 0; k <= maxClocks; ++k)
    if (name == names[k]) return k;
  ADD_FAILURE() << "unknown clock " << name;
  return 0;
}

// Reads "x <= 5, y - x < 2, z >= 1, w == 3" (constants are integers).
Box zoneOf(const std::string& text) {
  Box zone;
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    std::stringstream words(item);
    std::string a, op, b;
    int c = 0;
    words >> a >> op;
    int i = clockNumber(a), j = 0;
    if (op == "-") {
      words >> b >> op;
      j = clockNumber(b);
    }
    words >> c;
    if (op == "<=" || op == "==") zone.constraints.push_back({i, j, 2 * c + 1});
    if (op == "<") zone.constraints.push_back({i, j, 2 * c});
    if (op == ">=" || op == "==") zone.constraints.push_back({j, i, -2 * c + 1});
    if (op == ">") zone.constraints.push_back({j, i, -2 * c});
  }
  return zone;
}

// Valuations of n clocks over [0, top]: every multiple of 1/(n+1) and of 1/2. For sets built
// from zones with integer constants below top, every non-empty region has such a point.
std::vector<Valuation> grid(int n, int top) {
  std::vector<double> values;
  int steps = 2 * (n + 1);  // common refinement of halves and (n+1)-ths
  for (int k = 0; k <= top * steps; ++k)
    if (k % 2 == 0 || k % (n + 1) == 0) values.push_back(double(k) / steps);
  std::vector<Valuation> points;
  Valuation v{};
  std::vector<std::size_t> at(std::size_t(n) + 1, 0);
  while (true) {
    for (int c = 1; c <= n; ++c) v[c] = values[at[c]];
    points.push_back(v);
    int c = 1;
    while (c <= n && ++at[c] == values.size()) at[c++] = 0;
    if (c > n) break;
  }
  return points;
}

using Bits = std::vector<char>;

Bits bitsOf(const Cdd& d, const std::vector<Valuation>& points) {
  Bits bits(points.size());
  for (std::size_t k = 0; k < points.size(); ++k) bits[k] = d.contains(points[k].data());
  return bits;
}

Bits bitsOf(const Box& z, const std::vector<Valuation>& points) {
  Bits bits(points.size());
  for (std::size_t k = 0; k < points.size(); ++k) bits[k] = z.contains(points[k]);
  return bits;
}

bool none(const Bits& bits) {
  for (char b : bits)
    if (b) return false;
  return true;
}

// Index of the first point where the two sets differ, or -1.
long firstDifference(const Bits& a, const Bits& b) {
  for (std::size_t k = 0; k < a.size(); ++k)
    if (a[k] != b[k]) return long(k);
  return -1;
}

std::string show(const Valuation& v, int n) {
  std::string s = "(";
  for (int c = 1; c <= n; ++c) s += (c > 1 ? ", " : "") + std::to_string(v[c]);
  return s + ")";
}

// A random non-empty zone over n clocks with constants up to top - 1, every clock bounded.
Box randomZone(std::mt19937& rng, int n, int top) {
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  while (true) {
    Box z;
    for (int c = 1; c <= n; ++c) {
      int up = pick(1, top - 1);
      z.constraints.push_back({c, 0, 2 * up + pick(0, 1)});
      if (pick(0, 2) == 0) z.constraints.push_back({0, c, -2 * pick(0, up) + pick(0, 1)});
    }
    for (int c = 1; c <= n; ++c)
      for (int d = 1; d <= n; ++d)
        if (c != d && pick(0, 3) == 0)
          z.constraints.push_back({c, d, 2 * pick(-top + 1, top - 1) + pick(0, 1)});
    CddMatrix* m = z.matrix(n + 1);
    bool empty = m->isEmpty();
    CddMatrix::destroy(m);
    if (!empty) return z;
  }
}

class Diagrams : public testing::Test {
protected:
  void SetUp() override {
    Cdd::done();
    ASSERT_EQ(Cdd::init(64, 10000, 10000), 0);
    Cdd::setGCHandler(nullptr);
    Cdd::setRehashHandler(nullptr);
    Cdd::addClocks(maxClocks + 1);
  }
  void TearDown() override {
    // Every handle of the test is gone: nothing may be left alive.
    EXPECT_EQ(Cdd::stats().live, 0);
    Cdd::done();
  }
};


TEST_F(Diagrams, UnconstrainedZoneIsTrueAndEmptyZoneIsFalse) {
  EXPECT_TRUE(zoneOf("").diagram(maxClocks + 1).isTrue());
  EXPECT_TRUE(zoneOf("x >= 0, y >= 0").diagram(maxClocks + 1).isTrue());
  CddMatrix* d = zoneOf("x <= 2, x >= 3").matrix(maxClocks + 1);
  EXPECT_TRUE(Cdd::fromDBM(d).isFalse());
  CddMatrix::destroy(d);
}

TEST_F(Diagrams, FromDBMGivesExactlyTheZone) {
  const int n = 3;
  auto points = grid(n, 4);
  for (const char* text : {"x <= 3", "x > 1, x < 2", "x == 2, y - x == 1", "x - y < 1, y - x <= 2",
                           "x == y, y == z", "x >= 1, y >= 1, z >= 1, x <= 3, x - z > 1",
                           "x == 0, y == 0, z == 0", "x - y <= 0, y - z <= 0, z - x <= 0, x <= 2"}) {
    Box z = zoneOf(text);
    Cdd d = z.diagram(n + 1);
    long k = firstDifference(bitsOf(d, points), bitsOf(z, points));
    EXPECT_EQ(k, -1) << text << " differs at " << show(points[std::size_t(k < 0 ? 0 : k)], n);
  }
}

TEST_F(Diagrams, BuildingTheSameDiagramTwiceGivesTheSameHandle) {
  Box a = zoneOf("x <= 3, y - x < 2"), b = zoneOf("y >= 1, z <= 2"), c = zoneOf("x == 1");
  const int dim = maxClocks + 1;
  EXPECT_EQ(a.diagram(dim), a.diagram(dim));
  Cdd first = (a.diagram(dim) | b.diagram(dim)) - c.diagram(dim);
  Cdd second = (a.diagram(dim) | b.diagram(dim)) - c.diagram(dim);
  EXPECT_EQ(first, second);
  EXPECT_EQ(a.diagram(dim) & b.diagram(dim), b.diagram(dim) & a.diagram(dim));
  Cdd reduced = Cdd::reduce(first);
  EXPECT_EQ(Cdd::reduce(reduced), reduced);
}

TEST_F(Diagrams, ReduceOfContradictoryBoundsIsFalse) {
  const int dim = maxClocks + 1;
  Cdd d = zoneOf("x <= 3").diagram(dim) & zoneOf("x > 5").diagram(dim);
  EXPECT_TRUE(Cdd::reduce(d).isFalse());
  // Contradictions that only a path's closure shows: x - y >= 2, y >= 1 and x <= 2 sit on
  // three levels, and x >= y + 2 >= 3 > 2.
  Cdd e = zoneOf("x - y >= 2").diagram(dim) & zoneOf("y >= 1, z <= 4").diagram(dim) &
          zoneOf("x <= 2").diagram(dim);
  EXPECT_FALSE(e.isFalse());
  EXPECT_TRUE(Cdd::reduce(e).isFalse());
  // x <= 1, y - x >= 2, y <= 2 leaves exactly x = 0, y = 2; with y < 2 nothing is left.
  Cdd f = zoneOf("x <= 1").diagram(dim) & zoneOf("y - x >= 2").diagram(dim);
  Cdd g = Cdd::reduce(f & zoneOf("y <= 2").diagram(dim));
  EXPECT_FALSE(g.isFalse());
  double point[] = {0, 0, 2, 0, 0};
  EXPECT_TRUE(g.contains(point));
  EXPECT_TRUE(Cdd::reduce(f & zoneOf("y < 2").diagram(dim)).isFalse());
}

// A random set built from random zones, with its grid membership. inBox: the set lies inside
// the bounded zones it was made of, so every non-empty part of it shows on the grid.
struct Built {
  Cdd d;
  Bits bits;
  bool inBox;
};

Built randomSet(std::mt19937& rng, int n, int top, const std::vector<Valuation>& points,
                int depth) {
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  if (depth == 0 || pick(0, 3) == 0) {
    Box z = randomZone(rng, n, top);
    return {z.diagram(n + 1), bitsOf(z, points), true};
  }
  Built a = randomSet(rng, n, top, points, depth - 1);
  Built b = randomSet(rng, n, top, points, depth - 1);
  Bits bits(points.size());
  switch (pick(0, 4)) {
    case 0:
      for (std::size_t k = 0; k < bits.size(); ++k) bits[k] = a.bits[k] && b.bits[k];
      return {a.d & b.d, bits, a.inBox || b.inBox};
    case 1:
      for (std::size_t k = 0; k < bits.size(); ++k) bits[k] = a.bits[k] || b.bits[k];
      return {a.d | b.d, bits, a.inBox && b.inBox};
    case 2:
      for (std::size_t k = 0; k < bits.size(); ++k) bits[k] = a.bits[k] && !b.bits[k];
      return {a.d - b.d, bits, a.inBox};
    case 3:
      for (std::size_t k = 0; k < bits.size(); ++k) bits[k] = a.bits[k] != b.bits[k];
      return {a.d ^ b.d, bits, a.inBox && b.inBox};
    default:
      for (std::size_t k = 0; k < bits.size(); ++k) bits[k] = !a.bits[k];
      return {!a.d, bits, false};
  }
}

TEST_F(Diagrams, RandomSetsMatchBruteForceAndReduceDecidesEmptiness) {
  std::mt19937 rng(20240611);
  const int tops[] = {0, 4, 4, 3, 3};
  const int trials[] = {0, 300, 150, 60, 12};
  int emptyNonTrivial = 0;
  for (int n = 1; n <= maxClocks; ++n) {
    auto points = grid(n, tops[n]);
    for (int t = 0; t < trials[n]; ++t) {
      Built b = randomSet(rng, n, tops[n], points, 3);
      ASSERT_FALSE(b.d.isNull());
      long k = firstDifference(bitsOf(b.d, points), b.bits);
      ASSERT_EQ(k, -1) << n << " clocks, trial " << t << ", at "
                       << show(points[std::size_t(k < 0 ? 0 : k)], n);
      Cdd r = Cdd::reduce(b.d);
      k = firstDifference(bitsOf(r, points), b.bits);
      ASSERT_EQ(k, -1) << "reduce changed the set: " << n << " clocks, trial " << t;
      if (r.isFalse()) {
        EXPECT_TRUE(none(b.bits));
      }
      if (b.inBox) {
        EXPECT_EQ(r.isFalse(), none(b.bits)) << n << " clocks, trial " << t;
      }
      if (r.isFalse() && !b.d.isFalse()) ++emptyNonTrivial;
    }
  }
  EXPECT_GT(emptyNonTrivial, 0);  // reduce, not apply, had to find some of the empty sets
}

TEST_F(Diagrams, ZoneMinusItsCoveringPartsReducesToFalse) {
  std::mt19937 rng(7);
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int notFalseBeforeReduce = 0;
  for (int n = 1; n <= maxClocks; ++n)
    for (int t = 0; t < 40; ++t) {
      Box z = randomZone(rng, n, 4);
      // Cut z by two random constraints into up to four parts that cover it.
      Cdd rest = z.diagram(n + 1);
      std::vector<Box> parts{z};
      for (int cut = 0; cut < 2; ++cut) {
        int i = pick(0, n), j = pick(0, n);
        if (i == j) continue;
        std::int32_t raw = 2 * pick(-3, 3) + pick(0, 1);
        std::vector<Box> next;
        for (const Box& p : parts) {
          Box in = p, out = p;
          in.constraints.push_back({i, j, raw});
          out.constraints.push_back({j, i, 1 - raw});
          next.push_back(in);
          next.push_back(out);
        }
        parts = next;
      }
      for (const Box& p : parts) rest = rest - p.diagram(n + 1);
      if (!rest.isFalse()) ++notFalseBeforeReduce;
      EXPECT_TRUE(Cdd::reduce(rest).isFalse()) << n << " clocks, trial " << t;
    }
  EXPECT_GT(notFalseBeforeReduce, 0);
}

bool inMatrix(const CddMatrix* d, const Valuation& v) {
  for (int i = 0; i < d->dimension(); ++i)
    for (int j = 0; j < d->dimension(); ++j) {
      std::int32_t raw = d->get(i, j);
      if (raw != CddMatrix::infinity && !holds({i, j, raw}, v)) return false;
    }
  return true;
}

struct Collected {
  const std::vector<Valuation>* points;
  std::vector<int> hits;  // zones containing each point
};

void collectZone(const CddMatrix* zone, void* context) {
  auto* c = static_cast<Collected*>(context);
  EXPECT_FALSE(zone->isEmpty());
  for (std::size_t k = 0; k < c->points->size(); ++k) c->hits[k] += inMatrix(zone, (*c->points)[k]);
}

TEST_F(Diagrams, ZoneWalkGivesDisjointZonesWhoseUnionIsTheSet) {
  std::mt19937 rng(5);
  const int n = 3;
  auto points = grid(n, 3);
  CddMatrix* start = CddMatrix::create(maxClocks + 1);
  start->init();
  for (int t = 0; t < 40; ++t) {
    Built b = randomSet(rng, n, 3, points, 3);
    Collected c{&points, std::vector<int>(points.size(), 0)};
    int zones = Cdd::forEachZone(b.d, start, collectZone, &c);
    for (std::size_t k = 0; k < points.size(); ++k) {
      ASSERT_LE(c.hits[k], 1) << "zones overlap at " << show(points[k], n);
      ASSERT_EQ(c.hits[k] == 1, bool(b.bits[k])) << "trial " << t << " at " << show(points[k], n);
    }
    if (none(b.bits)) {
      EXPECT_EQ(zones, 0);
    }
  }
  CddMatrix::destroy(start);
}

TEST_F(Diagrams, CollectionUnderLoadKeepsLiveDiagramsIntact) {
  std::mt19937 rng(11);
  const int n = 3;
  auto points = grid(n, 3);
  std::vector<Built> kept;
  int round = 0;
  for (; round < 20000 && (Cdd::stats().collections < 3 || round % 5 != 0); ++round) {
    Built b = randomSet(rng, n, 3, points, 3);
    if (round % 7 == 0) kept.push_back(b);
  }
  ASSERT_GE(Cdd::stats().collections, 3) << "after " << round << " rounds";
  for (const Built& b : kept) {
    ASSERT_EQ(firstDifference(bitsOf(b.d, points), b.bits), -1);
    Cdd r = Cdd::reduce(b.d);
    ASSERT_EQ(firstDifference(bitsOf(r, points), b.bits), -1);
  }
  // Dead nodes found again are revived: rebuilding after a collection still shares.
  Box z = zoneOf("x <= 2, y - x < 1");
  Cdd once = z.diagram(maxClocks + 1) | zoneOf("z > 1").diagram(maxClocks + 1);
  Cdd again = z.diagram(maxClocks + 1) | zoneOf("z > 1").diagram(maxClocks + 1);
  EXPECT_EQ(once, again);
  CddStats s = Cdd::stats();
  EXPECT_EQ(s.allocated, s.live + s.dead);
}

TEST_F(Diagrams, DroppedDiagramsDieAndAreRevivedWhenFoundAgain) {
  const int dim = maxClocks + 1;
  Cdd::Handle before;
  {
    Cdd d = zoneOf("x <= 2, y > 1").diagram(dim) | zoneOf("z == 3").diagram(dim);
    before = d.handle();
    EXPECT_GT(Cdd::stats().live, 0);
  }
  EXPECT_EQ(Cdd::stats().live, 0);
  EXPECT_GT(Cdd::stats().dead, 0);
  Cdd d = zoneOf("x <= 2, y > 1").diagram(dim) | zoneOf("z == 3").diagram(dim);
  EXPECT_EQ(d.handle(), before);
  EXPECT_EQ(d.referenceCount(), 1);
}

TEST_F(Diagrams, SaturatedCountsStickAndTheNodeIsNeverFreed) {
  Box z = zoneOf("x <= 2, y - x < 1");
  {
    Cdd d = z.diagram(maxClocks + 1);
    std::vector<Cdd> copies(1100, d);
    EXPECT_EQ(d.referenceCount(), 1023);
  }
  Cdd d = z.diagram(maxClocks + 1);
  EXPECT_EQ(d.referenceCount(), 1023);
  // Churn until collections run: the node stays where it is.
  Cdd::Handle h = d.handle();
  d = Cdd();
  for (int c = 0; c < 20000 && Cdd::stats().collections < 2; ++c)
    (void)zoneOf("x == " + std::to_string(c % 9000) + ", y <= " + std::to_string(c)).diagram(5);
  EXPECT_GE(Cdd::stats().collections, 2);
  EXPECT_EQ(z.diagram(maxClocks + 1).handle(), h);
  // The saturated node lives on: start the next test from a fresh library.
  Cdd::done();
  ASSERT_EQ(Cdd::init(64, 10000, 10000), 0);
  Cdd::setGCHandler(nullptr);
  Cdd::addClocks(maxClocks + 1);
}

// The union of the points x == lo .. x == hi - 1, split in halves so that every level of the
// split makes nodes of a different size.
Cdd pointsOf(int lo, int hi) {
  if (hi - lo == 1) return zoneOf("x == " + std::to_string(lo)).diagram(2);
  int mid = (lo + hi) / 2;
  return pointsOf(lo, mid) | pointsOf(mid, hi);
}

TEST(LargeNodes, ALevelGetsAllTheIntervalsItNeeds) {
  Cdd::done();
  ASSERT_EQ(Cdd::init(64, 1000, 1000), 0);
  Cdd::setGCHandler(nullptr);
  Cdd::setRehashHandler(nullptr);
  Cdd::addClocks(2);
  {
    // 4100 points and the 4101 gaps around them: one node of 8201 intervals, larger than a page.
    constexpr int points = 4100;
    Cdd all = pointsOf(0, points);
    for (int x : {0, 1, 63, 64, 65, 2049, 4098, points - 1}) {
      double on[] = {0, double(x)}, off[] = {0, x + 0.5};
      EXPECT_TRUE(all.contains(on)) << x;
      EXPECT_FALSE(all.contains(off)) << x;
    }
    double beyond[] = {0, double(points)};
    EXPECT_FALSE(all.contains(beyond));
    EXPECT_TRUE((all & !pointsOf(0, points)).isFalse());  // the same node again
  }
  EXPECT_EQ(Cdd::stats().live, 0);
  Cdd::done();
}

TEST(PageLimit, AnOperationBeyondItThrowsAndLeavesTheLibraryUsable) {
  Cdd::done();
  ASSERT_EQ(Cdd::init(64, 1000, 1000), 0);
  Cdd::setGCHandler(nullptr);
  Cdd::setRehashHandler(nullptr);
  Cdd::addClocks(2);
  {
    Cdd kept = pointsOf(0, 8);
    const long live = Cdd::stats().live;
    Cdd::setPageLimit(std::size_t(Cdd::stats().pages) + 1);  // + the library's own page
    EXPECT_THROW(pointsOf(0, 200), CheckError);
    EXPECT_EQ(Cdd::stats().live, live);  // the unfinished levels were released
    Cdd::setPageLimit(65536);
    double in[] = {0, 7}, out[] = {0, 8};
    Cdd more = kept | pointsOf(8, 200);
    EXPECT_TRUE(more.contains(in) && more.contains(out));
  }
  EXPECT_EQ(Cdd::stats().live, 0);
  Cdd::done();
}

int rehashReports = 0;
int lastBuckets = 0;
void countRehash(int, int, int buckets, int, int, double, double) {
  ++rehashReports;
  lastBuckets = buckets;
}

TEST_F(Diagrams, RehashKeepsEveryNodeFindable) {
  rehashReports = 0;
  Cdd::setRehashHandler(countRehash);
  std::vector<Cdd> all;
  for (int c = 0; c < 3000; ++c) all.push_back(zoneOf("x == " + std::to_string(c)).diagram(2));
  EXPECT_EQ(rehashReports, 2);  // more than 1024 and 2048 nodes at one level
  EXPECT_EQ(lastBuckets, 1024);
  for (int c = 0; c < 3000; ++c)
    ASSERT_EQ(zoneOf("x == " + std::to_string(c)).diagram(2), all[std::size_t(c)]) << c;
  Cdd::setRehashHandler(nullptr);
}

TEST(Matrix, IncrementalConstraintsAgreeWithFullClosure) {
  std::mt19937 rng(3);
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int t = 0; t < 500; ++t) {
    int dim = pick(1, 6);
    CddMatrix* a = CddMatrix::create(dim);
    CddMatrix* b = CddMatrix::create(dim);
    a->init();
    b->init();
    bool feasible = true;
    for (int c = 0; c < 6 && dim > 1; ++c) {
      int i = pick(0, dim - 1), j = pick(0, dim - 1);
      if (i == j) continue;
      std::int32_t raw = 2 * pick(-5, 5) + pick(0, 1);
      feasible = a->constrain(i, j, raw) && feasible;
      if (raw < b->get(i, j)) b->set(i, j, raw);
    }
    b->close();
    b->close();  // nothing left to do
    EXPECT_EQ(!feasible, b->isEmpty()) << "trial " << t;
    for (int i = 0; feasible && i < dim; ++i)
      for (int j = 0; j < dim; ++j) ASSERT_EQ(a->get(i, j), b->get(i, j)) << t;
    CddMatrix::destroy(a);
    CddMatrix::destroy(b);
  }
}

}  // namespace
