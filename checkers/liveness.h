// checkers/liveness.h: the liveness checker: is there a run that stays in a state predicate
// forever (a repeatable cycle, a state where time diverges, or a deadlock inside the
// predicate)? Answers E[] p directly and A<> p through the negation of p.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "checkers/state_stack.h"
#include "engine/passed_list.h"
#include "model/global_state.h"
#include "base/ref.h"
#include "model/system.h"
#include "tctl/tctl_expression.h"
#include "trace/trace.h"

class Progress;
class UnpackedZone;

// The two parts of a diagnostic trace: the path from the start state, and the loop that
// repeats from its end (empty for a reachability witness or a run that ends in one state).
using TracePair = std::pair<Ref<Trace>, Ref<Trace>>;

// Cuts a state into the parts where a predicate holds, the predicate given as clauses of
// conjuncts (clock constraints, deadlock literals and discrete tests). The state is taken as
// entered: a clause must hold on some of its valuations. Where time may pass, a part holds what
// waiting reaches without leaving the predicate, moving from one clause into the next across a
// shared or touching border.
class PredicateSplitter {
public:
  PredicateSplitter() = default;
  PredicateSplitter(Ref<System> system, std::vector<Conjuncts> clauses);

  // Appends to out the parts of entry's state, each with entry's edges and the state's trace
  // index; nothing when the predicate holds nowhere in it. The state itself is not changed.
  void split(const WaitingEntry& entry, SuccessorList& out);
  const std::vector<Conjuncts>& clauses() const { return clauses_; }

private:
  // Appends the parts reached from `from` (inside clause `current`) by waiting into another
  // clause not yet on this chain of moves, and on from those.
  void appendChanges(const WaitingEntry& entry, const GlobalState* from, std::size_t current,
                     SuccessorList& out);
  // The part of clause `to` reached from `from` (inside clause `at`) by waiting across their
  // border; null when there is none.
  Ref<GlobalState> changePart(const GlobalState* from, std::size_t at, std::size_t to) const;
  // A location or integer test, not a clock constraint or a deadlock literal.
  static bool isDiscreteTest(const TCTLExpression* conjunct);
  // The clause's deadlock literals hold for some valuation of part's zone, deadlock being
  // decided on the state being split.
  bool deadlocksHold(std::size_t clause, const GlobalState* part) const;
  // A part of the clause made by this split already includes part. Waiting crosses a clause
  // (convex) in one stretch, so the moves on from an included part add nothing: skipping it
  // keeps overlapping clauses from multiplying into every order of visiting them.
  bool isCovered(std::size_t clause, const GlobalState* part) const;

  Ref<System> system_;
  std::vector<Conjuncts> clauses_;
  std::vector<char> marked_;  // per clause: dead in the state, or already on the chain
  std::vector<char> timed_;   // per clause: it has a clock constraint
  struct DeadlockLiterals {
    const DeadlockExpr* deadlocked = nullptr;     // "deadlock"
    const DeadlockExpr* notDeadlocked = nullptr;  // "not deadlock"
  };
  std::vector<DeadlockLiterals> deadlocks_;  // per clause
  // The state of the split under way after its delay, when a clause has a deadlock literal.
  Ref<GlobalState> splitting_;
  // The parts this split has made so far, with their clauses (kept alive by the output list).
  std::vector<std::pair<std::size_t, const GlobalState*>> made_;
};

class LivenessChecker : public Object {
public:
  // reduction is the storage reduction of the exploration (0, 1 or 2, as the enumeration's).
  LivenessChecker(Ref<System> system, Ref<PassedListFactory> factory, Ref<TraceStore> traces,
                  int reduction = 1);
  ~LivenessChecker() override;

  // The predicate a run must keep; makes a fresh passed list that serves every following run.
  void setProperty(Ref<TCTLExpression> property);
  // The state the next run starts from; it is copied, never changed.
  void setInitial(Ref<GlobalState> state);
  // Searches for a run from the start state that keeps the predicate forever.
  void run();
  // A run was found.
  bool getResult() const { return result_; }
  // The trace to the start of the run's loop, and the loop itself (both empty without a run;
  // the loop is empty when the run ends in one state).
  TracePair getTrace() const;

  // Ticked once for every state the search examines; when it asks to stop, run() throws
  // CheckError("Check stopped"): a search cut short has no answer. None by default.
  void setProgress(Ref<Progress> progress);
  // States the last run examined, and the entries left on its depth-first stack.
  std::uint64_t exploredCount() const { return explored_; }
  std::size_t waitingCount() const { return stack_.size(); }

  // The trace indices of the run's loop: both the same for a run ending in one state, -1
  // without a run.
  std::int32_t loopStart() const { return loopStart_; }
  std::int32_t loopEnd() const { return loopEnd_; }

private:
  // The next state of the depth-first search, already on the front; null when done.
  Ref<GlobalState> nextState();
  // Some valuations of the state can neither act nor leave the predicate, ever.
  bool deadlocksInside(const GlobalState* state);
  // The path on the front from node `start` to the top, closed by `closing`'s edges, can be
  // repeated forever.
  bool cycleRepeats(std::size_t start, const WaitingEntry& closing);
  // The zone after the edge pair taken from zone with the discrete part of state; null when
  // the pair is disabled there. Time elapses, nothing is extrapolated.
  UnpackedZone* stepZone(const GlobalState* state, const UnpackedZone* zone,
                           const Transition* first, const Transition* second) const;
  void found(std::int32_t start, std::int32_t end);

  Ref<TraceStore> traces_;
  FrontStack front_;
  std::vector<WaitingEntry> stack_;  // the depth-first stack; its back is the next entry
  Ref<PassedList> passed_;
  Ref<PassedListFactory> factory_;
  Ref<System> system_;
  Ref<GlobalState> initial_;
  Ref<TCTLExpression> property_;
  Ref<TCTLExpression> negated_;
  PredicateSplitter split_;         // by the predicate
  PredicateSplitter negatedSplit_;  // by its negation, for the deadlock test
  bool result_ = false;
  std::int32_t loopStart_ = -1;
  std::int32_t loopEnd_ = -1;
  int reduction_;
  Ref<Progress> progress_;
  std::uint64_t explored_ = 0;
  SuccessorList successors_;  // scratch
  SuccessorList parts_;       // scratch
};
