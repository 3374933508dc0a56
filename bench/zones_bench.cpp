// Zone operations on the shapes an exploration produces: zones reached by alternating delays,
// upper-bound invariants and resets, then delayed. One operation per round on the same input.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "model/clock.h"
#include "zones/zone.h"

namespace {

using ZonePtr = std::unique_ptr<UnpackedZone>;

// A clock table of dim - 1 clocks with maximal constant 20 each.
void installClocks(int dim) {
  ClockInfo::table() = ClockTable();
  ClockInfo::addClock(-1, -1, "t(0)");
  for (int k = 1; k < dim; ++k) ClockInfo::addClock(k - 1, -1, "x");
  std::vector<std::int32_t> max(dim, 20);
  max[0] = 0;
  ClockInfo::setConstants(max, DiagonalGuards());
}

ZonePtr makeZone(int dim) {
  installClocks(dim);
  std::mt19937 random(12345 + dim);
  std::uniform_int_distribution<int> clock(1, dim - 1), bound(5, 40);
  ZonePtr zone(UnpackedZone::create(dim, true));
  zone->setZero();
  ZonePtr keep(zone->copy());
  for (int step = 0; step < 3 * dim; ++step) {
    zone->delay();
    zone->tighten(clock(random), 0, bound(random), false);
    zone->close();
    if (zone->isEmpty())
      zone->assign(*keep);
    else
      keep->assign(*zone);
    zone->reset(clock(random), 0);
  }
  zone->delay();
  return zone;
}

// x1 <= its lower bound + 3: a bound that moves every entry the clock reaches.
std::int32_t upperBoundFor(const UnpackedZone& zone, int x) {
  return makeBound(-boundValue(zone.at(0, x)) + 3, false);
}

void BM_Assign(benchmark::State& state) {
  ZonePtr start = makeZone(state.range(0)), work(start->copy());
  for (auto _ : state) {
    work->assign(*start);
    benchmark::DoNotOptimize(work->matrix());
  }
}

void BM_CloseAfterTightenOneEntry(benchmark::State& state) {
  ZonePtr start = makeZone(state.range(0)), work(start->copy());
  std::int32_t raw = upperBoundFor(*start, 1);
  for (auto _ : state) {
    work->assign(*start);
    work->tightenRaw(1, 0, raw);
    work->close();
    benchmark::DoNotOptimize(work->isEmpty());
  }
}

void BM_CloseAfterTightenTwoEntries(benchmark::State& state) {
  ZonePtr start = makeZone(state.range(0)), work(start->copy());
  std::int32_t raw1 = upperBoundFor(*start, 1), raw2 = upperBoundFor(*start, 2);
  for (auto _ : state) {
    work->assign(*start);
    work->tightenRaw(1, 0, raw1);
    work->tightenRaw(2, 0, raw2);
    work->close();
    benchmark::DoNotOptimize(work->isEmpty());
  }
}

void BM_FullClose(benchmark::State& state) {
  ZonePtr start = makeZone(state.range(0)), work(start->copy());
  for (auto _ : state) {
    work->assign(*start);
    work->fullClose();
    benchmark::DoNotOptimize(work->isEmpty());
  }
}

void BM_Relation(benchmark::State& state) {  // equal zones: the full walk
  ZonePtr a = makeZone(state.range(0)), b(a->copy());
  for (auto _ : state) benchmark::DoNotOptimize(a->relation(b.get()));
}

void BM_Pack(benchmark::State& state) {
  ZonePtr zone = makeZone(state.range(0));
  std::unique_ptr<PackedZone> packed(zone->pack());
  state.counters["constraints"] = packed->count();
  for (auto _ : state) {
    PackedZone* made = zone->pack();
    benchmark::DoNotOptimize(made);
    delete made;
  }
}

void BM_PackedInclusion(benchmark::State& state) {  // a covered zone: the fast path
  ZonePtr zone = makeZone(state.range(0));
  std::unique_ptr<PackedZone> packed(zone->pack());
  for (auto _ : state) benchmark::DoNotOptimize(packed->relation(zone.get()));
}

void BM_Unpack(benchmark::State& state) {
  ZonePtr zone = makeZone(state.range(0));
  std::unique_ptr<PackedZone> packed(zone->pack());
  for (auto _ : state) {
    UnpackedZone* made = packed->unpack();
    benchmark::DoNotOptimize(made);
    delete made;
  }
}

void BM_Extrapolate(benchmark::State& state) {
  ZonePtr start = makeZone(state.range(0)), work(start->copy());
  for (auto _ : state) {
    work->assign(*start);
    work->extrapolate(ClockInfo::extrapolationBounds());
    benchmark::DoNotOptimize(work->isEmpty());
  }
}

#define ZONE_SIZES ->Arg(3)->Arg(6)->Arg(11)->Arg(21)
BENCHMARK(BM_Assign) ZONE_SIZES;
BENCHMARK(BM_CloseAfterTightenOneEntry) ZONE_SIZES;
BENCHMARK(BM_CloseAfterTightenTwoEntries) ZONE_SIZES;
BENCHMARK(BM_FullClose) ZONE_SIZES;
BENCHMARK(BM_Relation) ZONE_SIZES;
BENCHMARK(BM_Pack) ZONE_SIZES;
BENCHMARK(BM_PackedInclusion) ZONE_SIZES;
BENCHMARK(BM_Unpack) ZONE_SIZES;
BENCHMARK(BM_Extrapolate) ZONE_SIZES;

}  // namespace

BENCHMARK_MAIN();
