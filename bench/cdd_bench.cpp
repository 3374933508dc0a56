// Decision diagrams: the complement of a union of k random zones, built and reduced from a
// fresh library every round (so the operation cache starts empty).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "cdd/cdd.h"

namespace {

// Random closed, non-empty zones over n clocks with constants below 10, so no level ever needs
// more intervals than a node may hold.
std::vector<CddMatrix*> randomZones(int n, int k, unsigned seed) {
  std::mt19937 rng(seed);
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<CddMatrix*> zones;
  while (int(zones.size()) < k) {
    CddMatrix* d = CddMatrix::create(n + 1);
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
      CddMatrix::destroy(d);
    else
      zones.push_back(d);
  }
  return zones;
}

void restart(int clocks) {
  Cdd::done();
  Cdd::init(64, 10000, 10000);
  Cdd::setGCHandler(nullptr);
  Cdd::setRehashHandler(nullptr);
  Cdd::addClocks(clocks + 1);
}

void BM_ComplementOfUnionReduced(benchmark::State& state) {
  const int clocks = int(state.range(0)), k = int(state.range(1));
  std::vector<CddMatrix*> zones = randomZones(clocks, k, 42);
  long unionNodes = 0, reducedNodes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    restart(clocks);
    state.ResumeTiming();
    Cdd all = Cdd::falseCdd();
    for (const CddMatrix* z : zones) all |= Cdd::fromDBM(z);
    Cdd rest = Cdd::reduce(!all);
    if (rest.isNull()) {
      state.SkipWithError("diagram operation failed");
      break;
    }
    benchmark::DoNotOptimize(rest.handle());
  }
  // Node counts of the last round, measured outside the timing.
  restart(clocks);
  {
    Cdd all = Cdd::falseCdd();
    for (const CddMatrix* z : zones) all |= Cdd::fromDBM(z);
    unionNodes = Cdd::stats().live;
    Cdd rest = Cdd::reduce(!all);
    all = Cdd();
    reducedNodes = Cdd::stats().live;
  }
  Cdd::done();
  state.counters["union_nodes"] = double(unionNodes);
  state.counters["reduced_nodes"] = double(reducedNodes);
  state.SetItemsProcessed(state.iterations() * k);
  for (CddMatrix* z : zones) CddMatrix::destroy(z);
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
  std::vector<CddMatrix*> zones = randomZones(clocks, 200, 7);
  for (auto _ : state) {
    state.PauseTiming();
    restart(clocks);
    Cdd a = Cdd::falseCdd(), b = Cdd::falseCdd();
    for (std::size_t z = 0; z < zones.size(); ++z) (z % 2 ? a : b) |= Cdd::fromDBM(zones[z]);
    state.ResumeTiming();
    benchmark::DoNotOptimize((a & !b).handle());
  }
  Cdd::done();
  for (CddMatrix* z : zones) CddMatrix::destroy(z);
}
BENCHMARK(BM_ApplyLarge)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
