// tests/engine/compact_zone_test.cpp: the compact zone form, and the lists that keep it (the
// aLU passed list, waiting lists with compact zones) against the full matrices and the lists
// that keep full zones.
#include "engine/compact_zone.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <tuple>

#include "engine/simulation_list.h"
#include "engine/waiting_list.h"
#include "engine_fixture.h"

using namespace engine_test;

namespace {

// Keeps a closed zone in compact form: 16-bit entries when they fit, 32-bit ones otherwise.
struct Compacted {
  explicit Compacted(const UnpackedZone& zone)
      : narrow(std::size_t(compactEntryCount(zone.dimension()))),
        wide(narrow.size()),
        isNarrow(narrowEntries(zone, narrow.data())) {
    wideEntries(zone, wide.data());
  }
  std::vector<std::int16_t> narrow;
  std::vector<std::int32_t> wide;
  bool isNarrow;
};

TEST(CompactZone, AgreesWithTheFullMatrices) {
  std::mt19937 random(17);
  int wideSeen = 0;
  for (int dim = 1; dim <= 6; ++dim) {
    ClockScope clocks(dim - 1);
    // Small constants make many pairs comparable; large ones (beyond 16 bits raw) force the
    // 32-bit form.
    for (int range : {3, 20000}) {
      std::vector<ZonePtr> zones;
      for (int k = 0; k < 40; ++k) zones.push_back(randomZone(random, dim, 1 + k % 5, range));
      for (const ZonePtr& a : zones) {
        Compacted stored(*a);
        wideSeen += !stored.isNarrow;
        const CompactZone view{
            stored.isNarrow ? static_cast<const void*>(stored.narrow.data()) : stored.wide.data(),
            dim, !stored.isNarrow};
        ZonePtr back(UnpackedZone::create(dim, false));
        view.unpackInto(*back);
        ASSERT_EQ(back->relation(a.get()), Zone::equal) << printed(*a);
        for (const ZonePtr& b : zones) {
          Compacted fresh(*b);
          const int expected = a->relation(b.get());
          EXPECT_EQ(compareCompact(view, *b, fresh.isNarrow ? fresh.narrow.data() : nullptr),
                    expected)
              << printed(*a) << " against " << printed(*b);
          EXPECT_EQ(compareCompact(view, *b, nullptr), expected);
        }
      }
    }
  }
  EXPECT_GT(wideSeen, 0) << "the 32-bit form was exercised";
}

// Four clocks, two locations and an integer: groups, collisions and zones of every kind.
const char* const fourClocks =
    "clock x, y, z, w;\n"
    "int[0,3] i := 0;\n"
    "process P {\n"
    "  state A, B;\n"
    "  init A;\n"
    "  trans A -> B { guard x >= 1; };\n"
    "}\n"
    "system P;\n";

// Every clock between two random constants up to top, and one random difference: bounded zones,
// many of them incomparable, so the groups keep antichains of many zones.
ZonePtr boxZone(std::mt19937& random, int top) {
  for (;;) {
    ZonePtr zone(UnpackedZone::create(5, true));
    for (int x = 1; x < 5; ++x) {
      int low = int(random() % 3), high = low + int(random() % 3);
      zone->tighten(x, 0, x == 4 ? top : high, false);
      zone->tighten(0, x, -low, random() % 2 == 0);
    }
    zone->tighten(1 + int(random() % 4), 1 + int(random() % 4), int(random() % 3) - 1, false);
    zone->fullClose();
    if (!zone->isEmpty()) return zone;
  }
}

// A state in a random discrete part with a random box zone, numbered k in the trace.
Ref<GlobalState> randomState(const System& system, std::mt19937& random, int k) {
  Ref<GlobalState> state = stateOf(system, {int(random() % 2)}, "", {int(random() % 4)});
  state->setZone(boxZone(random, k % 50 == 0 ? 20000 : 3).release());
  state->setTraceIndex(k);
  return state;
}

using Stored = std::multiset<std::tuple<int, int, int, std::string>>;

Stored storedStates(PassedList& list) {
  Stored states;
  Ref<Enumeration<GlobalState>> walk = list.enumerate();
  while (GlobalState* state = walk->next())
    states.emplace(state->location(0), (*state->valuation())[0], state->traceIndex(),
                   zoneText(state));
  return states;
}

class CompactListTest : public EngineTest {};

// Without clock bounds the list must keep exactly what the classic list keeps, in its own
// form: same answers, same antichains, same trace indices, states rebuilt exactly. One bucket
// at first, so the tables grow many times.
TEST_F(CompactListTest, WithoutBoundsKeepsWhatTheClassicListKeeps) {
  Ref<System> system = load(fourClocks);
  Ref<GlobalStateHasher> hasher = system->makeDiscreteHasher();
  SimulationPassedList simulation(hasher, 1, system);
  ClassicPassedList classic(hasher, 1, false);
  std::mt19937 random(5);
  for (int round = 0; round < 2; ++round) {
    for (int k = 0; k < 3000; ++k) {
      Ref<GlobalState> state = randomState(*system, random, k);
      Ref<GlobalState> copy(state->copy());
      const bool kept = simulation.add(state) != nullptr;
      ASSERT_EQ(kept, classic.add(copy) != nullptr) << k << ": " << zoneText(copy.get());
    }
    EXPECT_EQ(simulation.storedCount(), classic.storedCount());
    EXPECT_EQ(simulation.unregisteredCount(), simulation.storedCount());
    EXPECT_LT(simulation.zoneCount(), simulation.storedCount()) << "equal zones are kept once";
    EXPECT_EQ(storedStates(simulation), storedStates(classic));
    simulation.clear();
    classic.clear();
    EXPECT_EQ(simulation.enumerate()->next(), nullptr);
  }
}

// Compact zones change where a waiting zone is kept, nothing else: the same entries come out
// in the same order, with the same zones, in a queue and in a stack.
TEST_F(CompactListTest, CompactWaitingListsHandOutWhatFullOnesDo) {
  Ref<System> system = load(fourClocks);
  Ref<GlobalStateHasher> hasher = system->makeDiscreteHasher();
  std::mt19937 random(9);
  for (bool stack : {false, true}) {
    auto make = [&]() -> Ref<HashBasedWaitingList> {
      return stack ? Ref<HashBasedWaitingList>(new WaitingStack(hasher, 1))
                   : Ref<HashBasedWaitingList>(new WaitingQueue(hasher, 1));
    };
    Ref<HashBasedWaitingList> full = make(), compact = make();
    compact->keepZonesCompact(true);
    // Both lists hand out the same entry next.
    auto takeBoth = [&] {
      ASSERT_FALSE(compact->isEmpty());
      WaitingEntry a = full->get(), b = compact->get();
      ASSERT_EQ(b.state->traceIndex(), a.state->traceIndex());
      ASSERT_EQ(zoneText(b.state.get()), zoneText(a.state.get()));
    };
    for (int k = 0; k < 3000; ++k) {
      Ref<GlobalState> state = randomState(*system, random, k);
      Ref<GlobalState> copy(state->copy());
      full->put(WaitingEntry{nullptr, nullptr, std::move(copy)});
      compact->put(WaitingEntry{nullptr, nullptr, std::move(state)});
      ASSERT_EQ(compact->size(), full->size());
      // Take one now and then, so entries wait next to emptied ones.
      if (k % 3 == 0 && !full->isEmpty()) takeBoth();
    }
    while (!full->isEmpty()) takeBoth();
    EXPECT_TRUE(compact->isEmpty());
  }
}

}  // namespace
