// tests/trace/trace_test.cpp: traces rebuilt from the memory store's back links, the null
// store, and joined traces.
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The steps of a trace from its start, as the second transitions they hold.
std::vector<Transition*> walk(Trace& trace) {
  std::vector<Transition*> steps;
  for (trace.reset(); !trace.atEnd(); trace.next()) steps.push_back(trace.current().second.get());
  return steps;
}

class MemoryTraceStoreTest : public testing::Test {
protected:
  MemoryTraceStoreTest() {
    for (auto& edge : edges) edge = new Transition();
    // 0 is the root; 1 and 2 follow it in a line; 3 branches off 1.
    EXPECT_EQ(store.addStep(nullptr, nullptr, -1), 0);
    EXPECT_EQ(store.addStep(nullptr, edges[1].get(), 0), 1);
    EXPECT_EQ(store.addStep(edges[0].get(), edges[2].get(), 1), 2);
    EXPECT_EQ(store.addStep(nullptr, edges[3].get(), 1), 3);
  }
  Ref<Transition> edges[4];
  MemoryTraceStore store;
};

TEST_F(MemoryTraceStoreTest, TraceToAStepFollowsItsAncestorsFromTheStart) {
  Ref<Trace> trace = store.createTrace(2);
  EXPECT_EQ(trace->length(), 2);
  EXPECT_EQ(walk(*trace), (std::vector<Transition*>{edges[1].get(), edges[2].get()}));
  trace->reset();
  trace->next();
  EXPECT_EQ(trace->current().first, edges[0]) << "a synchronisation keeps both transitions";
  EXPECT_EQ(walk(*store.createTrace(3)),
            (std::vector<Transition*>{edges[1].get(), edges[3].get()}));
}

TEST_F(MemoryTraceStoreTest, EmptyTraces) {
  for (Ref<Trace> trace : {store.createTrace(-1), store.createTrace(0), store.createTrace(2, 2),
                           store.createTrace(0, -1)}) {
    EXPECT_EQ(trace->length(), 0);
    trace->reset();
    EXPECT_TRUE(trace->atEnd());
    EXPECT_EQ(trace->current().second, nullptr);
    trace->next();
    EXPECT_TRUE(trace->atEnd());
  }
}

TEST_F(MemoryTraceStoreTest, SegmentBetweenTwoSteps) {
  Ref<Trace> segment = store.createTrace(1, 2);
  EXPECT_EQ(segment->length(), 1);
  EXPECT_EQ(walk(*segment), std::vector<Transition*>{edges[2].get()});
  EXPECT_EQ(store.createTrace(0, 2)->length(), 2);
}

TEST_F(MemoryTraceStoreTest, TracesOutliveTheirStore) {
  Ref<Trace> trace;
  {
    MemoryTraceStore local;
    local.addStep(nullptr, nullptr, -1);
    local.addStep(nullptr, edges[3].get(), 0);
    trace = local.createTrace(1);
  }
  EXPECT_EQ(walk(*trace), std::vector<Transition*>{edges[3].get()});
}


TEST(ConcatTrace, YieldsTheFirstPartThenTheSecond) {
  MemoryTraceStore store;
  Ref<Transition> a = new Transition(), b = new Transition(), c = new Transition();
  store.addStep(nullptr, nullptr, -1);
  store.addStep(nullptr, a.get(), 0);
  store.addStep(nullptr, b.get(), 1);
  store.addStep(nullptr, c.get(), 2);
  Ref<Trace> joined = concatTraces(store.createTrace(2), store.createTrace(2, 3));
  EXPECT_EQ(joined->length(), 3);
  EXPECT_EQ(walk(*joined), (std::vector<Transition*>{a.get(), b.get(), c.get()}));
  EXPECT_EQ(walk(*joined), (std::vector<Transition*>{a.get(), b.get(), c.get()}))
      << "reset starts over";

  Ref<Trace> withNull = concatTraces(store.createTrace(2), new NullTrace);
  EXPECT_EQ(withNull->length(), 2);
  EXPECT_EQ(walk(*withNull), (std::vector<Transition*>{a.get(), b.get()}));
  Ref<Trace> emptyFirst = concatTraces(new NullTrace, store.createTrace(1));
  EXPECT_EQ(walk(*emptyFirst), std::vector<Transition*>{a.get()});
  Ref<Trace> bothEmpty = concatTraces(new NullTrace, nullptr);
  EXPECT_EQ(bothEmpty->length(), 0);
  EXPECT_TRUE(bothEmpty->atEnd());
}

}  // namespace
