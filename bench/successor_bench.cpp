// bench/successor_bench.cpp: all successors of the reachable states of Fischer's protocol.
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "model/channel.h"
#include "model/global_state.h"
#include "model/integer.h"
#include "model/integer_expression.h"
#include "model/process.h"
#include "model/symbol_table.h"
#include "model/system.h"
#include "model/clock.h"
#include "zones/zone.h"

namespace {

Ref<IntegerExpression> constant(int value) { return new ConstantExpression(value); }

// N processes of Fischer's mutual exclusion protocol with delay bound k:
//   A -(id == 0; x := 0)-> req {x <= k} -(x <= k; x := 0, id := pid)-> wait
//   wait -(id == 0; x := 0)-> req,  wait -(x > k, id == pid)-> cs -(id := 0)-> A
Ref<System> fischer(int n, int k) {
  symbols() = SymbolTable();
  channels() = Channels();
  integerVariables() = IntegerVariables();
  ClockInfo::table() = ClockTable();
  ClockInfo::addClock(-1, -1, "t(0)");
  symbols().declare("id", integerKind, 0);
  const int id = integerVariables().declare(symbols().indexOf("id"), -1, 0, n, 0, 1);
  auto idIs = [&](int value) -> Ref<Guard> {
    return new IntegerGuard(new VariableExpression(id, symbols().indexOf("id")),
                            IntegerGuard::opEqual, constant(value));
  };
  auto setId = [&](int value) -> Ref<Assignment> {
    return new IntegerAssign(new VariableExpression(id, symbols().indexOf("id")), constant(value));
  };
  Ref<System> system(new System(n));
  for (int p = 0; p < n; ++p) {
    const std::string name = "P" + std::to_string(p);
    symbols().declare(name.c_str(), processKind, p << 16);
    const int processSymbol = symbols().counter(processKind) - 1;
    symbols().declare(("x" + std::to_string(p)).c_str(), clockKind, 0);
    const int x = ClockInfo::addClock(symbols().counter(clockKind) - 1, -1, "");
    Ref<Process> process(new Process(symbols().counter(stateKind), 0));
    process->setProcessSymbol(processSymbol);
    const char* names[] = {"A", "req", "wait", "cs"};
    for (int l = 0; l < 4; ++l) {
      symbols().declare((name + names[l]).c_str(), stateKind, l);
      Ref<ControlState> location(
          new ControlState(std::int16_t(l), symbols().counter(stateKind) - 1, false, false));
      if (l == 1) location->addInvariant(new ClockGuard(x, 0, k, false));
      process->addLocation(std::move(location));
    }
    auto edge = [&](int from, int to, std::vector<Ref<Guard>> guards,
                    std::vector<Ref<Assignment>> updates) {
      Ref<Transition> e(new Transition(0, std::move(guards), std::move(updates)));
      e->setSource(std::int16_t(from));
      e->setDestination(std::int16_t(to));
      process->addEdge(std::move(e));
    };
    edge(0, 1, {idIs(0)}, {new ClockAssign(x, 0)});
    edge(1, 2, {new ClockGuard(x, 0, k, false)}, {new ClockAssign(x, 0), setId(p + 1)});
    edge(2, 1, {idIs(0)}, {new ClockAssign(x, 0)});
    edge(2, 3, {new ClockGuard(0, x, -k, true), idIs(p + 1)}, {});
    edge(3, 0, {}, {setId(0)});
    system->setProcess(p, std::move(process));
  }
  system->prepare();
  system->storeConstants();
  return system;
}

// The reachable states (up to limit), explored breadth first with zone inclusion.
std::vector<Ref<GlobalState>> reachable(const System& system, std::size_t limit) {
  Ref<GlobalStateHasher> hasher = system.makeDiscreteHasher();
  std::unordered_map<unsigned, std::vector<Ref<GlobalState>>> passed;
  std::vector<Ref<GlobalState>> states;
  SuccessorList list;
  Ref<GlobalState> start = system.initialState(true);
  states.push_back(start);
  passed[(*hasher)(start.get(), 1u << 30)].push_back(start);
  for (std::size_t next = 0; next < states.size() && states.size() < limit; ++next) {
    list.clear();
    system.successors(states[next].get(), true, true, list);
    for (WaitingEntry& entry : list) {
      std::vector<Ref<GlobalState>>& bucket = passed[(*hasher)(entry.state.get(), 1u << 30)];
      bool covered = false;
      for (const Ref<GlobalState>& stored : bucket) {
        const int relation = stored->relation(entry.state.get());
        if (relation == Zone::equal || relation == Zone::argIncludedIn) covered = true;
      }
      if (covered) continue;
      bucket.push_back(entry.state);
      states.push_back(entry.state);
    }
  }
  return states;
}

void BM_FischerSuccessors(benchmark::State& state) {
  Ref<System> system = fischer(int(state.range(0)), 2);
  std::vector<Ref<GlobalState>> states = reachable(*system, 20000);
  SuccessorList list;
  std::int64_t produced = 0;
  for (auto _ : state) {
    for (const Ref<GlobalState>& s : states) {
      list.clear();
      system->successors(s.get(), true, true, list);
      produced += std::int64_t(list.size());
    }
    benchmark::DoNotOptimize(list.data());
  }
  list.clear();
  state.SetItemsProcessed(produced);
  state.counters["states"] = double(states.size());
  // Seconds per successor, scaled to nanoseconds.
  state.counters["ns/successor"] = benchmark::Counter(
      double(produced) * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FischerSuccessors)->Arg(3)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
