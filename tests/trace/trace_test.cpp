// tests/trace/trace_test.cpp: traces rebuilt from the memory store's back links, the null
// store, and joined traces.
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The steps of a trace from its start, as the second transitions they hold; walked twice, since
// a reset starts over, and checked against the trace's length.
std::vector<Transition*> walk(Trace& trace) {
  std::vector<Transition*> steps, again;
  for (trace.reset(); !trace.atEnd(); trace.next()) steps.push_back(trace.current().second.get());
  for (trace.reset(); !trace.atEnd(); trace.next()) again.push_back(trace.current().second.get());
  EXPECT_EQ(steps, again);
  EXPECT_EQ(trace.length(), int(steps.size()));
  trace.next();
  EXPECT_TRUE(trace.atEnd()) << "a step past the end stays there";
  return steps;
}

TEST(MemoryTraceStore, TracesFollowTheBackLinksFromTheStart) {
  Ref<Transition> edges[4];
  for (auto& edge : edges) edge = new Transition();
  Ref<Trace> outliving;
  using Steps = std::vector<Transition*>;
  {
    MemoryTraceStore store;
    // 0 is the root; 1, 2 and 4 follow it in a line; 3 branches off 1.
    EXPECT_EQ(store.addStep(nullptr, nullptr, -1), 0);
    EXPECT_EQ(store.addStep(nullptr, edges[1].get(), 0), 1);
    EXPECT_EQ(store.addStep(edges[0].get(), edges[2].get(), 1), 2);
    EXPECT_EQ(store.addStep(nullptr, edges[3].get(), 1), 3);
    EXPECT_EQ(store.addStep(nullptr, edges[3].get(), 2), 4);
    const struct {
      Ref<Trace> trace;
      Steps steps;
    } cases[] = {
        {store.createTrace(2), {edges[1].get(), edges[2].get()}},
        {store.createTrace(3), {edges[1].get(), edges[3].get()}},
        {store.createTrace(1, 2), {edges[2].get()}},  // the segment between two steps
        {store.createTrace(0, 2), {edges[1].get(), edges[2].get()}},
        {store.createTrace(-1), {}},
        {store.createTrace(0), {}},
        {store.createTrace(2, 2), {}},
        {store.createTrace(0, -1), {}},
        // Joined traces yield the first part, then the second.
        {concatTraces(store.createTrace(2), store.createTrace(2, 4)),
         {edges[1].get(), edges[2].get(), edges[3].get()}},
        {concatTraces(store.createTrace(2), new NullTrace), {edges[1].get(), edges[2].get()}},
        {concatTraces(new NullTrace, store.createTrace(1)), {edges[1].get()}},
        {concatTraces(new NullTrace, nullptr), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(walk(*c.trace), c.steps);
    Ref<Trace> synchronised = store.createTrace(2);
    synchronised->reset();
    synchronised->next();
    EXPECT_EQ(synchronised->current().first, edges[0]) << "a synchronisation keeps both edges";
    Ref<Trace> empty = store.createTrace(0);
    empty->reset();
    EXPECT_EQ(empty->current().second, nullptr);
    outliving = store.createTrace(3);
  }
  EXPECT_EQ(walk(*outliving), (Steps{edges[1].get(), edges[3].get()})) << "outlives its store";
}

}  // namespace
