// Decision diagrams: the complement of a union of k random zones, built and reduced from a
// fresh library every round (so the operation cache starts empty).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "cdd/cdd.h"

namespace {

// Random closed, non-empty zones over n clocks with constants below 10, so no level ever needs
// more intervals than a node may hold.
std::vector<_dbm_*> randomZones(int n, int k, unsigned seed) {
  std::mt19937 rng(seed);
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<_dbm_*> zones;
  while (int(zones.size()) < k) {
    _dbm_* d = _dbm_::create(n + 1);
    d->init();
    for (int c = 1; c <= n; ++c) {
      int low = pick(0, 6), high = low + pick(1, 3);
      if (low > 0) d->set(0, c, -2 * low + pick(0, 1));
      d->set(c, 0, 2 * high + pick(0, 1));
    }
    for (int t = 0; t < 2; ++t) {
      int i = pick(1, n), j = pick(1, n);
      if (i != j) d->set(i, j, 2 * pick(-2, 2) + 1);
    }
    d->close();
    if (d->isEmpty())
      _dbm_::destroy(d);
    else
      zones.push_back(d);
  }
  return zones;
}

void restart(int clocks) {
  cdd::done();
  cdd::init(64, 10000, 10000);
  cdd::setGCHandler(nullptr);
  cdd::setRehashHandler(nullptr);
  cdd::addClocks(clocks + 1);
}

void BM_ComplementOfUnionReduced(benchmark::State& state) {
  const int clocks = int(state.range(0)), k = int(state.range(1));
  std::vector<_dbm_*> zones = randomZones(clocks, k, 42);
  long unionNodes = 0, reducedNodes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    restart(clocks);
    state.ResumeTiming();
    cdd all = cdd::falseCDD();
    for (const _dbm_* z : zones) all |= cdd::fromDBM(z);
    cdd rest = cdd::reduce(!all);
    if (rest.isNull()) {
      state.SkipWithError("diagram operation failed");
      break;
    }
    benchmark::DoNotOptimize(rest.handle());
  }
  // Node counts of the last round, measured outside the timing.
  restart(clocks);
  {
    cdd all = cdd::falseCDD();
    for (const _dbm_* z : zones) all |= cdd::fromDBM(z);
    unionNodes = cdd::stats().live;
    cdd rest = cdd::reduce(!all);
    all = cdd();
    reducedNodes = cdd::stats().live;
  }
  cdd::done();
  state.counters["union_nodes"] = double(unionNodes);
  state.counters["reduced_nodes"] = double(reducedNodes);
  state.SetItemsProcessed(state.iterations() * k);
  for (_dbm_* z : zones) _dbm_::destroy(z);
}

BENCHMARK(BM_ComplementOfUnionReduced)
    ->ArgNames({"clocks", "zones"})
    ->Args({4, 10})
    ->Args({4, 100})
    ->Args({4, 1000})
    ->Args({8, 10})
    ->Args({8, 100})
    ->Args({8, 1000})
    ->Unit(benchmark::kMillisecond);

// One conjunction of two unions of 100 zones each, from a fresh library every round.
void BM_ApplyLarge(benchmark::State& state) {
  const int clocks = int(state.range(0));
  std::vector<_dbm_*> zones = randomZones(clocks, 200, 7);
  for (auto _ : state) {
    state.PauseTiming();
    restart(clocks);
    cdd a = cdd::falseCDD(), b = cdd::falseCDD();
    for (std::size_t z = 0; z < zones.size(); ++z) (z % 2 ? a : b) |= cdd::fromDBM(zones[z]);
    state.ResumeTiming();
    benchmark::DoNotOptimize((a & !b).handle());
  }
  cdd::done();
  for (_dbm_* z : zones) _dbm_::destroy(z);
}
BENCHMARK(BM_ApplyLarge)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
