// tests/support/cdd_fixture.h: a diagram library of the test's own, and zones as diagrams.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "cdd/cdd.h"
#include "cdd/zone_cdd.h"
#include "tests/support/zone_builder.h"

// A fresh instance of the diagram library, current while this object lives; the previous one
// comes back afterwards.
class DiagramLibrary {
 public:
  explicit DiagramLibrary(int clocks, int cacheSize = 10000) { restart(clocks, cacheSize); }
  // Starts the instance over with `clocks` clocks (the reference clock counts): what loading a
  // model does.
  void restart(int clocks, int cacheSize = 10000) {
    Cdd::done();
    ASSERT_EQ(Cdd::init(64, cacheSize, cacheSize), 0);
    Cdd::setGCHandler(nullptr);
    Cdd::setRehashHandler(nullptr);
    Cdd::addClocks(clocks);
  }

 private:
  CddLibrary library_;
  CddLibrary::Binding binding_{library_};
};

// A test over a private clock table and a library over its clocks; when the test ends no
// diagram it made may be left alive.
class DiagramTest : public testing::Test {
 protected:
  explicit DiagramTest(std::initializer_list<const char*> clocks) : clocks_(clocks) {}
  void TearDown() override { EXPECT_EQ(Cdd::stats().live, 0); }

  ClockScope clocks_;
  DiagramLibrary library_{ClockInfo::count()};
};

inline Cdd cddOf(const std::string& zone) { return cddOf(*zoneOf(zone)); }

// Membership of a point given in units of 1/unit.
inline bool contains(const Cdd& d, const Point& p, int unit = 4) {
  std::vector<double> values(p.size());
  for (std::size_t k = 0; k < p.size(); ++k) values[k] = double(p[k]) / unit;
  return d.contains(values.data());
}
