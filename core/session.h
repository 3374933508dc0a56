// core/session.h: one loaded system with its verification options and the engine objects
// built from them: the part of the server that both the protocol handlers and the command-line
// verifier drive, so that both give the same answers.
#pragma once
#include <cstdint>
#include <vector>

#include "cdd/cdd.h"
#include "model/guard.h"
#include "model/model_tables.h"
#include "base/ref.h"
#include "tctl/parser.h"
#include "trace/trace.h"

class ClockBounds;
class GlobalState;
class GenericStateSpaceEnumeration;
class GlobalStateHasher;
class PassedListFactory;
class LeadsToChecker;
class LivenessChecker;
class Progress;
class StateSpaceEnumeration;
class System;
class TCTLExpression;
class TraceStore;
class WaitingListFactory;

// How the passed lists keep explored states; the numbers are the protocol's option values.
enum Representation : int {
  fullZones = 0,
  packedZones = 1,
  bitStateHashing = 2,  // an approximation: a missing state may be taken for explored
  convexHulls = 3,      // an approximation: zones are widened to hulls
};

// The answer to a property; the letters are the protocol's.
enum class Verdict : char {
  satisfied = 'T',
  notSatisfied = 'F',
  maybe = 'M',  // uncertain under an approximation
};

// Verification options, kept across model uploads.
struct Options {
  bool order = false;      // depth-first waiting lists
  int reduction = 1;       // storage reduction mode: 0, 1, or any other value
  Representation representation = fullZones;
  bool reuse = false;      // continue earlier explorations
  bool activeClocks = false;
  bool trace = false;
  // How zones are abstracted in reachability checks: 0 by global maximal constants, 1 by the
  // lower and upper bounds of each state's locations (ExtraLU+), 2 by those bounds with aLU
  // subsumption in the passed list (with full zones; other representations keep their own
  // covering). Liveness, leads-to, deadlock and diagonal constraints always use 0.
  int abstraction = 0;
};

// The answer to one property.
struct CheckResult {
  bool found = false;  // the checker's own result: a witness or counterexample was found
  Verdict verdict = Verdict::notSatisfied;
  // The path from the start state and, for liveness counterexamples, the loop after it.
  Ref<Trace> path;
  Ref<Trace> loop;
};

// The work of a check: states examined, states kept by the passed lists, states on the
// frontier.
struct CheckStatistics {
  std::uint64_t explored = 0;
  std::uint64_t stored = 0;
  std::uint64_t waiting = 0;
};

// One step of a trace replayed from the start state: the transitions and the state reached.
struct ReplayedStep {
  TraceStep step;
  Ref<GlobalState> state;
};

class Session {
public:
  enum Option { orderOption, reductionOption, representationOption, reuseOption,
                activeClocksOption, traceOption, abstractionOption };

  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Makes the session's model tables and diagram library current while it lives, so that
  // sessions with different models can take turns in one process. Every function of the
  // session makes its own; a caller that reads the model's tables between calls (a request
  // handler printing a state) holds one around its work.
  class Scope {
  public:
    explicit Scope(const Session& session);

  private:
    ModelBinding model_;
    CddLibrary::Binding diagrams_;
  };

  // Makes a parsed system current: fresh diagram library, constant tables, hashers, start
  // state (its initial state without delay) and engine objects.
  void setSystem(Ref<System> system);
  System* system() const { return system_.get(); }
  const Options& options() const { return options_; }

  // Changes one option and drops what depends on it. Setting trace always takes effect.
  // representation must lie in 0 to 3, abstraction in 0 to 2.
  void setOption(Option option, int value);
  // Builds whatever engine object is missing; nothing before a system is loaded.
  void configure();

  GlobalState* startState() const { return startState_.get(); }
  // Model checks start from this state from now on; from none (null), checks find nothing.
  void setStartState(Ref<GlobalState> state);

  // Checks a parsed property (A[], E<>, E[], A<>, -->) from the start state.
  // A check that cannot be completed throws (CheckError, std::bad_alloc) and drops the partial
  // exploration; the system and the options stay.
  CheckResult check(PropertyKind kind, Ref<TCTLExpression> property);

  // The states a trace passes through, replayed from the start state after its delay step.
  std::vector<ReplayedStep> replay(Trace& path, Trace& loop) const;

  // The progress indicator handed to long loops; a NullProgress unless replaced. Every search
  // ticks it once per state it examines; a tick answering true stops the check with
  // CheckError "Check stopped".
  void setProgress(Ref<Progress> progress);
  // The counters of the check under way (for a progress indicator called from inside it), or
  // of the last check when none runs.
  CheckStatistics statistics() const;
  StateSpaceEnumeration* enumeration() const { return enumeration_.get(); }
  // Where the current exploration records how its states were reached; null before configure().
  const TraceStore* traceStore() const { return traceStore_.get(); }
  // The scanner the session's property texts are read with: its comment mode carries over from
  // one text to the next.
  PropertyScanner& propertyScanner() { return propertyScanner_; }

private:
  class CountingEnumeration;

  enum Drop : unsigned {
    dropWaiting = 1,
    dropPassed = 2,
    dropTraces = 4,
    dropEnumeration = 8,
  };
  void drop(unsigned what);
  // The abstraction a check of this kind and property uses: an Options::abstraction value, or
  // cappedLowerBounds for global constants under bit-state hashing; bounds_ is made ready for
  // it when it is not 0. maximal: the clock constants of the system and the property.
  static constexpr int cappedLowerBounds = 3;
  int chooseAbstraction(PropertyKind kind, const TCTLExpression& property,
                        const DiagonalGuards& diagonals, const std::vector<std::int32_t>& maximal);
  CheckResult run(PropertyKind kind, Ref<TCTLExpression> property);

  // First, so that it goes last: the diagrams of everything below live in it.
  mutable CddLibrary diagrams_;
  Options options_;
  Ref<System> system_;
  Ref<GlobalStateHasher> discreteHasher_;
  Ref<GlobalStateHasher> zoneHasher_;
  Ref<PassedListFactory> passedFactory_;
  Ref<PassedListFactory> livenessFactory_;  // for liveness searches
  Ref<WaitingListFactory> waitingFactory_;
  Ref<TraceStore> traceStore_;
  Ref<Progress> progress_;
  Ref<StateSpaceEnumeration> enumeration_;
  // The enumeration's outermost layer, which counts the states it hands out, and the generic
  // enumeration inside it, whose waiting list is the frontier.
  Ref<CountingEnumeration> counting_;
  Ref<GenericStateSpaceEnumeration> generic_;
  Ref<GlobalState> startState_;
  PropertyScanner propertyScanner_;
  bool convexHullInUse_ = false;
  bool bitStateInUse_ = false;

  // The kind of the last property checked (none: nothing to reuse) and the clocks it read,
  // which the active-clock reduction keeps.
  PropertyKind previousKind_ = propertyNone;
  // The abstraction the kept exploration was made with, and the clock bounds of the current
  // system for the constants of the property they were computed with.
  int previousAbstraction_ = 0;
  Ref<ClockBounds> bounds_;
  std::vector<std::int32_t> boundsConstants_;
  ClockSet activeClockSet_;

  // The liveness or leads-to search under way, if any, and the states examined by the
  // liveness searches of the last check.
  LivenessChecker* liveness_ = nullptr;
  LeadsToChecker* leadsTo_ = nullptr;
  std::uint64_t livenessExplored_ = 0;
};
