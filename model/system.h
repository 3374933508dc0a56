// model/system.h: the loaded network of timed automata and its symbolic semantics: initial
// state, successors through an edge or a synchronising pair, time elapse, invariants, the
// backward step and the active-clock reduction.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <vector>

#include "model/global_state.h"
#include "model/global_state_hasher.h"
#include "model/process.h"
#include "base/ref.h"
#include "model/transition.h"

class ModelTables;
class ClockBounds;
class UnpackedZone;

// One successor: the edge pair taken and the state reached. first is null for a move of a
// single process (and both are null for an initial state); second is the edge of that move or
// the second partner of a synchronisation.
struct WaitingEntry {
  Ref<Transition> first;
  Ref<Transition> second;
  Ref<GlobalState> state;
};

// Successor lists are filled in production order; callers keep one and clear it between states.
using SuccessorList = std::vector<WaitingEntry>;

class System : public Object {
 public:
  explicit System(int processCount);
  ~System() override;
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  // Places the process in slot p and numbers its edges. An automaton already placed in another
  // slot is placed as a separate copy, so every edge names exactly one slot.
  void setProcess(int p, Ref<Process> process);
  Process* process(int p) const { return processes_[std::size_t(p)].get(); }
  int processCount() const { return int(processes_.size()); }

  // The tables the system was read into; null for a system built by hand in the current ones.
  const std::shared_ptr<ModelTables>& tables() const { return tables_; }
  void setTables(std::shared_ptr<ModelTables> tables) { tables_ = std::move(tables); }

  // prepare() of every process, in process order.
  void prepare();
  void collectConstants(std::vector<std::int32_t>& maximal, DiagonalGuards& diagonals) const;
  // Makes the maximal constants and diagonal guards of this system the clock table's.
  void storeConstants() const;

  // Every process in its initial location, every clock 0, every integer at its initial value;
  // with delay, time elapses as the rules allow; then the invariants. Null when they cannot
  // hold. Not extrapolated.
  Ref<GlobalState> initialState(bool delay) const;

  // With bounds set, extrapolation abstracts each zone by the bounds of its state's locations
  // (ExtraLU+) instead of the clock table's maximal constants; null goes back to those. The
  // caller keeps the bounds alive while they are set.
  void setLocalBounds(const ClockBounds* bounds) { localBounds_ = bounds; }
  const ClockBounds* localBounds() const { return localBounds_; }
  // Extrapolates the state's unpacked zone as successors() does.
  void extrapolate(GlobalState* state) const;

  // Appends one entry per enabled edge or synchronising pair, in the order of the process pair
  // (p, q), p outer, internal moves of p first, then each pair in edge order. The list is not
  // cleared. Successor zones are unpacked; extrapolated when asked.
  void successors(const GlobalState* state, bool delay, bool extrapolate,
                  SuccessorList& list) const;
  // The successor through exactly the pair (first may be null); null when disabled or when the
  // invariants of the target cannot hold, and also when successors() would not form the pair:
  // an edge not leaving its process's current location, a synchronising edge alone, edges on
  // different channels, or no committed partner while some process is committed. Not
  // extrapolated.
  Ref<GlobalState> successor(const GlobalState* state, const Transition* first,
                             const Transition* second, bool delay) const;
  // The same pairs as successors(), without evaluating any label: each state holds only the
  // new locations (no zone, no valuation).
  void discreteSuccessors(const GlobalState* state, SuccessorList& list) const;

  // Time elapse (as the urgent and committed rules allow) and the invariants on the state
  // itself; null (the state released) when the zone becomes empty, else the same state,
  // extrapolated when asked. A packed zone is unpacked first.
  Ref<GlobalState> delayStep(Ref<GlobalState> state, bool extrapolate) const;
  // The clock constraints of the invariants of the current locations, then a closure; false
  // when the zone became empty. The zone must be unpacked.
  bool applyInvariants(GlobalState* state) const;

  // Two processes can synchronise on an urgent channel now (integer guards only).
  bool urgentSyncEnabled(const GlobalState* state) const;
  bool inUrgentLocation(const GlobalState* state) const;
  std::int32_t committedCount(const GlobalState* state) const;
  // Time may not pass in the state: urgent or committed location, or urgent synchronisation.
  bool isTimeStopped(const GlobalState* state) const;

  // Backward step through the pair: zone holds states after the pair (in target's locations)
  // and becomes the states before it that reach them. False when it becomes empty.
  bool predecessorZone(const Transition* first, const Transition* second, const GlobalState* target,
                       UnpackedZone* zone) const;

  // Frees every clock (but the reference clock) that no current location lists as active.
  void reduceActiveClocks(GlobalState* state) const;
  // Recomputes the active clocks of every location, then adds clocks to all of them.
  void addActiveClocks(const ClockSet& clocks);

  class DiscreteHasher;
  class ZoneHasher;
  Ref<GlobalStateHasher> makeDiscreteHasher() const;
  Ref<GlobalStateHasher> makeZoneHasher() const;

  void print(std::ostream& out) const;

 private:
  // Entries of the pair (p, q) into list; q == p for internal moves.
  void pairSuccessors(const GlobalState* state, int p, int q, bool delay, bool extrapolate,
                      SuccessorList& list) const;
  void pairDiscreteSuccessors(const GlobalState* state, int p, int q, SuccessorList& list) const;
  // Calls visit(p, q) for every process pair (q == p for internal moves) that the committed
  // rule and the channel test let move, in production order.
  template <class Visit>
  void forEachPair(const GlobalState* state, Visit&& visit) const;
  // The successor with the locations of processes p (first) and q (second) set explicitly.
  Ref<GlobalState> successorAt(const GlobalState* state, int p, const Transition* first, int q,
                               const Transition* second, bool delay) const;
  // Time elapse and invariants on a state with an unpacked zone; false when empty.
  bool elapseAndRestrict(GlobalState* state, bool delay) const;

  std::vector<Ref<Process>> processes_;
  std::shared_ptr<ModelTables> tables_;
  const ClockBounds* localBounds_ = nullptr;
  // Scratch for reduceActiveClocks: the union of active clocks.
  mutable IndexBits activeUnion_;
};

// Hashes the locations and integer values: states differing only in their zones meet in one
// bucket. A mixed-radix numbering of the discrete part, reduced modulo the table size.
class System::DiscreteHasher : public GlobalStateHasher {
 public:
  explicit DiscreteHasher(const System* system) : system_(const_cast<System*>(system)) {}
  unsigned operator()(const GlobalState* state, unsigned size) const override;
  // The discrete digits only, for the zone hasher to continue from.
  std::uint64_t discrete(const GlobalState* state, std::uint64_t size) const;

 private:
  Ref<System> system_;  // kept alive while the hasher lives
};

// Hashes the discrete part and the zone, each bound capped at its clock's maximal constant.
class System::ZoneHasher : public GlobalStateHasher {
 public:
  explicit ZoneHasher(const System* system) : discrete_(system) {}
  unsigned operator()(const GlobalState* state, unsigned size) const override;

 private:
  DiscreteHasher discrete_;
};
