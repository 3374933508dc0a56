// tests/engine/passed_list_test.cpp: inclusion, replacement and widening in the passed and
// waiting lists, their orders, and tables that grow.
#include "engine/passed_list.h"
#include "engine/waiting_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine_fixture.h"

using namespace engine_test;

namespace {

// One process with two locations, an integer and two clocks: enough discrete parts and zones.
const char* const twoClocks =
    "clock x, y;\n"
    "int[0,3] i := 0;\n"
    "process P {\n"
    "  state A, B;\n"
    "  init A;\n"
    "  trans A -> B { guard x >= 1; };\n"
    "}\n"
    "system P;\n";

// Sends every state to one bucket: collisions on purpose.
class ConstantHasher : public GlobalStateHasher {
public:
  unsigned operator()(const GlobalState*, unsigned) const override { return 0; }
};

class PassedListTest : public EngineTest {
protected:
  PassedListTest() : system(load(twoClocks)), hasher(system->makeDiscreteHasher()) {}
  Ref<GlobalState> state(int location, const char* zone, int i = 0) {
    return stateOf(*system, {location}, zone, {i});
  }
  bool sameZone(const GlobalState* s, const char* zone) {
    std::unique_ptr<UnpackedZone> expected(zoneOf(zone));
    return s->zone()->relation(expected.get()) == Zone::equal;
  }

  Ref<System> system;
  Ref<GlobalStateHasher> hasher;
};

TEST_F(PassedListTest, ClassicRejectsIncludedAndReplacesCoveredStatesInBothForms) {
  for (bool packed : {false, true}) {
    ClassicPassedList list(hasher, passedListBuckets, packed);
    Ref<GlobalState> first = state(0, "x <= 5");
    EXPECT_EQ(list.add(first), first) << "the caller explores the object it passed in";
    EXPECT_EQ(list.add(state(0, "x <= 5")), nullptr);
    EXPECT_EQ(list.add(state(0, "x <= 3, y <= 1")), nullptr);
    EXPECT_EQ(list.storedCount(), 1u);
    Ref<Enumeration<GlobalState>> stored = list.enumerate();
    GlobalState* copy = stored->next();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, first.get()) << "the list keeps its own copy";
    EXPECT_TRUE(copy->isRegistered());
    EXPECT_EQ(copy->isPacked(), packed);
    EXPECT_EQ(stored->next(), nullptr);
    list.clear();
    GlobalState::destroyAllRegistered();
    // A state covering two stored ones replaces both.
    EXPECT_NE(list.add(state(0, "x <= 2, y <= 5")), nullptr);
    EXPECT_NE(list.add(state(0, "x <= 5, y <= 2")), nullptr);
    EXPECT_NE(list.add(state(1, "x <= 1")), nullptr);
    EXPECT_EQ(list.storedCount(), 3u);
    EXPECT_EQ(GlobalState::registeredCount(), 3);
    EXPECT_NE(list.add(state(0, "x <= 5, y <= 5")), nullptr);
    EXPECT_EQ(list.storedCount(), 2u);
    EXPECT_EQ(GlobalState::registeredCount(), 2) << "replaced copies leave the registry";
    EXPECT_EQ(list.add(state(0, "x <= 2, y <= 5")), nullptr);
    EXPECT_EQ(list.add(state(0, "x <= 5, y <= 2")), nullptr);
    list.clear();
    GlobalState::destroyAllRegistered();
  }
}

TEST_F(PassedListTest, ConvexHullWidensIncomparableZonesOfOneDiscretePart) {
  ConvexHullPassedList list(hasher, passedListBuckets);
  EXPECT_NE(list.add(state(0, "x <= 2, y <= 5")), nullptr);
  Ref<GlobalState> second = state(0, "x <= 5, y <= 2");
  Ref<GlobalState> explored = list.add(second);
  ASSERT_NE(explored, nullptr);
  EXPECT_TRUE(sameZone(explored.get(), "x <= 5, y <= 5")) << zoneText(explored.get());
  EXPECT_EQ(list.storedCount(), 1u);
  EXPECT_TRUE(sameZone(list.enumerate()->next(), "x <= 5, y <= 5"));
  EXPECT_EQ(list.add(state(0, "x <= 4, y <= 4")), nullptr);
  EXPECT_EQ(list.add(state(0, "x <= 5, y <= 5")), nullptr);
  EXPECT_NE(list.add(state(0, "x <= 6")), nullptr);
  EXPECT_EQ(list.storedCount(), 1u);
  EXPECT_EQ(GlobalState::registeredCount(), 1);
  EXPECT_TRUE(sameZone(list.enumerate()->next(), "x <= 6"));
  EXPECT_NE(list.add(state(1, "x <= 1")), nullptr);
  EXPECT_EQ(list.storedCount(), 2u);
}

TEST_F(PassedListTest, BitStateCountsStatesByTheirHashValue) {
  BitStatePassedList list(new ConstantHasher, bitStateBits);
  EXPECT_NE(list.add(state(0, "x <= 5")), nullptr);
  EXPECT_EQ(list.add(state(1, "y <= 1", 3)), nullptr);
  EXPECT_EQ(list.enumerate(), nullptr);
  EXPECT_EQ(GlobalState::registeredCount(), 0) << "no state is kept";
  list.clear();
  EXPECT_NE(list.add(state(1, "y <= 1", 3)), nullptr);
  // With the zone hasher zones are told apart: x's largest constant is 1, and bounds differ
  // below it, or only in strictness.
  BitStatePassedList zones(system->makeZoneHasher(), bitStateBits);
  EXPECT_NE(zones.add(state(0, "x <= 1")), nullptr);
  EXPECT_NE(zones.add(state(0, "x < 1")), nullptr);
  EXPECT_EQ(zones.add(state(0, "x < 1")), nullptr);
}

// --- waiting lists ---

class WaitingListTest : public PassedListTest {
protected:
  WaitingEntry entry(int location, const char* zone, int i = 0) {
    return WaitingEntry{nullptr, system->process(0)->edge(0), state(location, zone, i)};
  }
  // The integer values of the entries in the order get() hands them out.
  static std::vector<int> drain(WaitingList& list) {
    std::vector<int> order;
    while (!list.isEmpty()) order.push_back((*list.get().state->valuation())[0]);
    return order;
  }
};

TEST_F(WaitingListTest, OrderInclusionAndEmptiedEntriesOfQueueAndStack) {
  using Order = std::vector<int>;
  for (bool stackOrder : {false, true}) {
    SCOPED_TRACE(stackOrder ? "stack" : "queue");
    auto make = [&] {
      return stackOrder ? Ref<WaitingList>(new WaitingStack(hasher, 1009))
                        : Ref<WaitingList>(new WaitingQueue(hasher, 1009));
    };
    Ref<WaitingList> list = make();
    for (int i : {2, 0, 3, 1}) list->put(entry(0, "x <= 1", i));
    EXPECT_EQ(list->size(), 4);
    EXPECT_EQ(drain(*list), stackOrder ? Order({1, 3, 0, 2}) : Order({2, 0, 3, 1}));
    EXPECT_EQ(list->size(), 0);
    // A state equal to or inside a waiting one of its discrete part is not queued.
    for (const char* zone : {"x <= 5", "x <= 5", "x <= 3"}) list->put(entry(0, zone));
    EXPECT_EQ(list->size(), 1);
    list->put(entry(1, "x <= 3"));
    EXPECT_EQ(list->size(), 2);
    // A newcomer covering two waiting states empties both; they stay where they stand.
    list = make();
    for (const char* zone : {"x <= 2, y <= 5", "x <= 5, y <= 2", "x <= 5, y <= 5"})
      list->put(entry(0, zone, 1));
    EXPECT_EQ(list->size(), 3);
    EXPECT_TRUE(sameZone(list->get().state.get(), "x <= 5, y <= 5"));
    EXPECT_TRUE(list->isEmpty());
    EXPECT_EQ(list->size(), 0);
    // Emptied entries are skipped in order.
    list->put(entry(0, "x <= 1", 0));
    list->put(entry(1, "x <= 1", 1));
    list->put(entry(0, "x <= 1", 2));
    list->put(entry(1, "x <= 2", 1));  // empties the second entry
    EXPECT_EQ(list->size(), 4);
    EXPECT_EQ(drain(*list), stackOrder ? Order({1, 2, 0}) : Order({0, 2, 1}));
  }
}

TEST_F(WaitingListTest, ConvexHullWidensTheWaitingStateInsteadOfQueueing) {
  for (bool stackOrder : {false, true}) {
    Ref<WaitingList> list = stackOrder ? Ref<WaitingList>(new ConvexHullWaitingStack(hasher, 1009))
                                       : Ref<WaitingList>(new ConvexHullWaitingQueue(hasher, 1009));
    list->put(entry(0, "x <= 2, y <= 5"));
    list->put(entry(0, "x <= 5, y <= 2"));
    EXPECT_EQ(list->size(), 1);
    list->put(entry(0, "x <= 5, y <= 5"));
    EXPECT_EQ(list->size(), 1) << "equal to the widened state";
    list->put(entry(0, "x <= 6"));
    EXPECT_EQ(list->size(), 2);
    WaitingEntry out = list->get();
    EXPECT_TRUE(sameZone(out.state.get(), "x <= 6"));
    EXPECT_TRUE(list->isEmpty());
  }
}

TEST_F(WaitingListTest, GrownTableKeepsOrderAndInclusion) {
  WaitingStack stack(new ConstantHasher, 1);  // one chain holds every group
  for (int i = 0; i <= 3; ++i)
    for (int location : {0, 1}) stack.put(entry(location, "x <= 5", i));
  EXPECT_GT(stack.bucketCount(), 1u);
  for (int i = 0; i <= 3; ++i) stack.put(entry(1, "x <= 4", i));
  EXPECT_EQ(stack.size(), 8);
  stack.put(entry(1, "x <= 9", 3));
  EXPECT_EQ(stack.size(), 9);
  // Groups emptied by get() leave the chain; the others stay in it.
  stack.get();
  stack.get();
  stack.put(entry(1, "x <= 4", 2));
  EXPECT_THAT(drain(stack), testing::ElementsAre(2, 2, 1, 1, 0, 0));
}

TEST_F(WaitingListTest, ActiveClockDecoratorMakesStatesDifferingInDeadClocksEqual) {
  // y is never read: it is inactive everywhere, and freeing it makes both zones "x <= 1".
  Ref<WaitingList> list = ActiveClockWaitingListDecoratorFactory(
                              system, new WaitingQueueFactory(hasher, waitingListBuckets))
                              .create();
  list->put(entry(0, "x <= 1, y == 0"));
  list->put(entry(0, "x <= 1, y == 3"));
  EXPECT_EQ(list->size(), 1);
  WaitingEntry out = list->get();
  EXPECT_TRUE(sameZone(out.state.get(), "x <= 1")) << zoneText(out.state.get());
  EXPECT_TRUE(list->isEmpty());
}

}  // namespace
