#include "core/session.h"

#include <utility>

#include "cdd/cdd.h"
#include "checkers/leads_to.h"
#include "checkers/liveness.h"
#include "checkers/reachability.h"
#include "engine/enumeration.h"
#include "engine/passed_list.h"
#include "engine/waiting_list.h"
#include "engine/simulation_list.h"
#include "model/clock_bounds.h"
#include "model/global_state.h"
#include "model/system.h"
#include "base/error.h"
#include "tctl/parser.h"
#include "tctl/tctl_expression.h"
#include "model/clock.h"

namespace {

// Points a slot at a search for as long as it runs, so the statistics can read it meanwhile.
template <class Search>
class RunningSearch {
public:
  RunningSearch(Search*& slot, Search* search) : slot_(slot) { slot_ = search; }
  ~RunningSearch() { slot_ = nullptr; }
  RunningSearch(const RunningSearch&) = delete;
  RunningSearch& operator=(const RunningSearch&) = delete;

private:
  Search*& slot_;
};

// Sets the system's local clock bounds for as long as a check runs.
class LocalBoundsInUse {
public:
  LocalBoundsInUse(System& system, const ClockBounds* bounds) : system_(system) {
    system_.setLocalBounds(bounds);
  }
  ~LocalBoundsInUse() { system_.setLocalBounds(nullptr); }
  LocalBoundsInUse(const LocalBoundsInUse&) = delete;
  LocalBoundsInUse& operator=(const LocalBoundsInUse&) = delete;

private:
  System& system_;
};

bool holdsDeadlock(const TCTLExpression* e) {
  switch (e->typeCode()) {
    case TCTLExpression::deadlockType:
      return true;
    case TCTLExpression::andType: {
      const auto* a = static_cast<const AndExpr*>(e);
      return holdsDeadlock(a->left()) || holdsDeadlock(a->right());
    }
    case TCTLExpression::orType: {
      const auto* o = static_cast<const OrExpr*>(e);
      return holdsDeadlock(o->left()) || holdsDeadlock(o->right());
    }
    case TCTLExpression::notType:
      return holdsDeadlock(static_cast<const NotExpr*>(e)->operand());
    default:
      return false;
  }
}

}  // namespace

// Hands out the states of the wrapped enumeration, counting them and ticking the progress
// indicator for each. A request to stop ends the check with CheckError "Check stopped": a
// reachability check cut short must not answer as if the state space had been exhausted.
class Session::CountingEnumeration final : public StateSpaceEnumeration {
public:
  CountingEnumeration(Ref<StateSpaceEnumeration> inner, Ref<Progress> progress)
      : inner_(std::move(inner)), progress_(std::move(progress)) {}

  Ref<GlobalState> next() override {
    Ref<GlobalState> state = inner_->next();
    if (state) {
      ++count_;
      if (progress_->tick(state.get())) throw CheckError("Check stopped");
    }
    return state;
  }
  Ref<Trace> getTrace() override { return inner_->getTrace(); }
  void reset(Ref<GlobalState> state) override { inner_->reset(std::move(state)); }

  std::uint64_t count() const { return count_; }
  void clearCount() { count_ = 0; }
  void setProgress(Ref<Progress> progress) { progress_ = std::move(progress); }

private:
  Ref<StateSpaceEnumeration> inner_;
  Ref<Progress> progress_;
  std::uint64_t count_ = 0;
};

Session::Session() : progress_(new NullProgress) {}

Session::~Session() {
  Scope scope(*this);
  drop(dropEnumeration | dropPassed | dropWaiting | dropTraces);
  startState_ = nullptr;
  discreteHasher_ = nullptr;
  zoneHasher_ = nullptr;
  system_ = nullptr;
}

Session::Scope::Scope(const Session& session)
    : model_(session.system_ ? session.system_->tables() : nullptr), diagrams_(session.diagrams_) {}

void Session::setSystem(Ref<System> system) {
  Scope scope(*this);
  drop(dropEnumeration | dropPassed | dropWaiting);
  // From here on the new system's tables are the current ones, for the caller too until its
  // own scope ends.
  if (system->tables()) makeCurrent(system->tables());
  try {
    Cdd::done();
    Cdd::init(64, 10000, 10000);
    Cdd::setGCHandler(nullptr);
    Cdd::setRehashHandler(nullptr);
    Cdd::addClocks(ClockInfo::count());

    system->storeConstants();

    system_ = std::move(system);
    bounds_ = nullptr;
    discreteHasher_ = system_->makeDiscreteHasher();
    zoneHasher_ = system_->makeZoneHasher();
    startState_ = system_->initialState(false);
    activeClockSet_.clear();
    configure();
  } catch (...) {
    // The model tables already describe the new system, so the old one cannot be kept: the
    // session is left without a system rather than with half of one.
    drop(dropEnumeration | dropPassed | dropWaiting | dropTraces);
    system_ = nullptr;
    startState_ = nullptr;
    throw;
  }
}

void Session::setOption(Option option, int value) {
  Scope scope(*this);
  switch (option) {
    case orderOption:
      if (bool(value) != options_.order) {
        options_.order = value;
        drop(dropWaiting | dropEnumeration);
      }
      break;
    case reductionOption:
      if (value != options_.reduction) {
        options_.reduction = value;
        drop(dropEnumeration);
      }
      break;
    case representationOption:
      if (value != options_.representation) {
        options_.representation = Representation(value);
        drop(dropEnumeration | dropPassed | dropWaiting);
      }
      break;
    case reuseOption:
      if (bool(value) != options_.reuse) {
        options_.reuse = value;
        drop(dropEnumeration);
      }
      break;
    case activeClocksOption:
      if (bool(value) != options_.activeClocks) {
        options_.activeClocks = value;
        drop(dropWaiting | dropEnumeration);
      }
      break;
    case traceOption:
      options_.trace = value;
      drop(dropTraces | dropEnumeration);
      break;
    case abstractionOption:
      if (value != options_.abstraction) {
        options_.abstraction = value;
        drop(dropEnumeration | dropPassed | dropWaiting);
      }
      break;
  }
}

void Session::drop(unsigned what) {
  if (what & dropWaiting) waitingFactory_ = nullptr;
  if (what & dropPassed) passedFactory_ = livenessFactory_ = nullptr;
  // The trace store goes with the enumeration that fills it, so the memory it takes depends on
  // the current exploration and not on the session's history.
  if (what & (dropTraces | dropEnumeration)) traceStore_ = nullptr;
  if (what & dropEnumeration) {
    enumeration_ = nullptr;
    counting_ = nullptr;
    generic_ = nullptr;
    // A new enumeration explores from scratch with freshly collected constants and, with the
    // active-clock reduction, a fresh analysis of the current system.
    previousKind_ = propertyNone;
  }
}

void Session::configure() {
  if (!system_) return;
  Scope scope(*this);
  if (!traceStore_) {
    if (options_.trace)
      traceStore_ = new MemoryTraceStore;
    else
      traceStore_ = new NullTraceStore;
  }
  if (!passedFactory_) {
    convexHullInUse_ = bitStateInUse_ = false;
    switch (options_.representation) {
      case bitStateHashing:
        passedFactory_ = new BitStatePassedListFactory(zoneHasher_, bitStateBits);
        bitStateInUse_ = true;
        break;
      case convexHulls:
        passedFactory_ = new ConvexHullPassedListFactory(discreteHasher_, passedListBuckets);
        convexHullInUse_ = true;
        break;
      case fullZones:
        if (options_.abstraction == 2) {
          passedFactory_ =
              new SimulationPassedListFactory(discreteHasher_, passedListBuckets, system_);
          // Liveness searches abstract by global constants and count their stored states in
          // the registry, so they keep the classic list.
          livenessFactory_ =
              new ClassicPassedListFactory(discreteHasher_, passedListBuckets, false);
          break;
        }
        [[fallthrough]];
      default:
        passedFactory_ = new ClassicPassedListFactory(discreteHasher_, passedListBuckets,
                                                      options_.representation == packedZones);
    }
    if (!livenessFactory_) livenessFactory_ = passedFactory_;
  }
  if (!waitingFactory_) {
    Ref<WaitingListFactory> factory;
    const bool hull = options_.representation == convexHulls;
    // Under local bounds the frontier, not the passed list, holds most of the zones: they wait
    // in compact form.
    const bool compact = options_.abstraction != 0;
    if (!options_.order) {
      if (hull)
        factory = new HashBasedWaitingListFactory<ConvexHullWaitingQueue>(discreteHasher_,
                                                                          waitingListBuckets);
      else
        factory = new HashBasedWaitingListFactory<WaitingQueue>(discreteHasher_,
                                                                waitingListBuckets, compact);
    } else {
      if (hull)
        factory = new HashBasedWaitingListFactory<ConvexHullWaitingStack>(discreteHasher_,
                                                                          waitingListBuckets);
      else
        factory = new HashBasedWaitingListFactory<WaitingStack>(discreteHasher_,
                                                                waitingListBuckets, compact);
    }
    if (options_.activeClocks) factory = new ActiveClockWaitingListDecoratorFactory(system_, factory);
    waitingFactory_ = std::move(factory);
  }
  if (!enumeration_) {
    Ref<PassedList> passed = passedFactory_->create();
    Ref<GenericStateSpaceEnumeration> generic = new GenericStateSpaceEnumeration(
        system_, passed, waitingFactory_->create(), traceStore_, options_.reduction);
    Ref<StateSpaceEnumeration> inner;
    if (options_.reuse)
      inner = new CachingStateSpaceEnumeration(generic, system_, passed, traceStore_);
    else
      inner = generic;
    generic_ = std::move(generic);
    counting_ = new CountingEnumeration(std::move(inner), progress_);
    enumeration_ = counting_;
    enumeration_->reset(startState_);
    GlobalState::destroyAllRegistered();
  }
}

void Session::setStartState(Ref<GlobalState> state) {
  Scope scope(*this);
  if (!state) {
    // The enumeration keeps the state it was last reset with; only a new one starts from none.
    startState_ = nullptr;
    drop(dropEnumeration);
    configure();
    return;
  }
  configure();
  startState_ = std::move(state);
  traceStore_->clear();
  enumeration_->reset(startState_);
  GlobalState::destroyAllRegistered();
}

void Session::setProgress(Ref<Progress> progress) {
  progress_ = std::move(progress);
  if (counting_) counting_->setProgress(progress_);
}

CheckStatistics Session::statistics() const {
  CheckStatistics statistics;
  statistics.explored = livenessExplored_;
  if (counting_) statistics.explored += counting_->count();
  if (leadsTo_) statistics.explored += leadsTo_->livenessExplored();
  if (liveness_) {
    statistics.explored += liveness_->exploredCount();
    statistics.waiting = liveness_->waitingCount();
  } else if (generic_) {
    statistics.waiting = std::uint64_t(generic_->waitingList()->size());
  }
  statistics.stored = std::uint64_t(GlobalState::registeredCount());
  if (generic_) statistics.stored += generic_->passedList()->unregisteredCount();
  return statistics;
}

CheckResult Session::check(PropertyKind kind, Ref<TCTLExpression> property) {
  Scope scope(*this);
  try {
    return run(kind, std::move(property));
  } catch (...) {
    // A check that cannot be completed (the diagram library failed, memory ran out, a stop was
    // asked for) leaves a half-explored state space: the next check starts from scratch.
    drop(dropEnumeration | dropPassed | dropWaiting | dropTraces);
    throw;
  }
}

CheckResult Session::run(PropertyKind kind, Ref<TCTLExpression> property) {
  configure();
  counting_->clearCount();
  livenessExplored_ = 0;
  std::vector<std::int32_t> maximal = ClockInfo::zeroConstants();
  DiagonalGuards diagonals;
  system_->collectConstants(maximal, diagonals);
  property->collectConstants(maximal, diagonals);
  if (!options_.reuse || maximal != ClockInfo::table().maxConstants ||
      !(diagonals == ClockInfo::diagonals()))
    previousKind_ = propertyNone;
  if (options_.activeClocks) {
    ClockSet clocks;
    property->collectClocks(clocks);
    if (previousKind_ == propertyNone || clocks != activeClockSet_) {
      activeClockSet_ = std::move(clocks);
      system_->addActiveClocks(activeClockSet_);
      previousKind_ = propertyNone;
    }
  }
  const int abstraction = chooseAbstraction(kind, *property, diagonals, maximal);
  if (abstraction != previousAbstraction_) previousKind_ = propertyNone;
  previousAbstraction_ = abstraction;
  if (previousKind_ == propertyNone) ClockInfo::setConstants(std::move(maximal), std::move(diagonals));
  LocalBoundsInUse boundsInUse(*system_, abstraction != 0 ? bounds_.get() : nullptr);
  // Under local bounds the start state is abstracted like every other state, so the search
  // does not meet it again as a larger twin (global constants keep today's exploration).
  generic_->setAbstractStart(abstraction == 1 || abstraction == 2);

  if (previousKind_ == propertyAlways || previousKind_ == propertyReachable ||
      previousKind_ == propertyLeadsTo) {
    enumeration_->reset(nullptr);
  } else {
    // Nothing of an earlier exploration is kept, so neither are the steps that reached it.
    traceStore_->clear();
    enumeration_->reset(startState_);
    GlobalState::destroyAllRegistered();
  }

  CheckResult result;
  TracePair trace;
  switch (kind) {
    case propertyAlways:
    case propertyReachable: {
      ReachabilityResult found = checkReachability(*enumeration_, *property);
      result.found = found.found;
      trace = found.trace;
      break;
    }
    case propertyPersistent:
    case propertyInevitable: {
      if (!startState_) break;
      Ref<LivenessChecker> checker =
          new LivenessChecker(system_, livenessFactory_, traceStore_, options_.reduction);
      checker->setProperty(property);
      checker->setInitial(startState_);
      checker->setProgress(progress_);
      {
        RunningSearch<LivenessChecker> running(liveness_, checker.get());
        checker->run();
      }
      livenessExplored_ = checker->exploredCount();
      result.found = checker->getResult();
      trace = checker->getTrace();
      break;
    }
    case propertyLeadsTo: {
      Ref<LeadsToChecker> checker = new LeadsToChecker(system_, enumeration_, livenessFactory_,
                                                       traceStore_, progress_, options_.reduction);
      checker->setProperty(property);
      {
        RunningSearch<LeadsToChecker> running(leadsTo_, checker.get());
        checker->run();
      }
      livenessExplored_ = checker->livenessExplored();
      result.found = checker->getResult();
      trace = checker->getTrace();
      break;
    }
    default:
      throw InputError("Unsupported property type.");
  }
  previousKind_ = kind;

  if (result.found)
    result.verdict = convexHullInUse_ ? Verdict::maybe : Verdict::satisfied;
  else
    result.verdict = bitStateInUse_ ? Verdict::maybe : Verdict::notSatisfied;
  // A[], A<> and --> search for a counterexample: finding one refutes the property.
  if (kind == propertyAlways || kind == propertyInevitable || kind == propertyLeadsTo) {
    if (result.verdict == Verdict::satisfied)
      result.verdict = Verdict::notSatisfied;
    else if (result.verdict == Verdict::notSatisfied)
      result.verdict = Verdict::satisfied;
  }
  result.path = trace.first ? trace.first : Ref<Trace>(new NullTrace);
  result.loop = trace.second ? trace.second : Ref<Trace>(new NullTrace);
  return result;
}

int Session::chooseAbstraction(PropertyKind kind, const TCTLExpression& property,
                               const DiagonalGuards& diagonals,
                               const std::vector<std::int32_t>& maximal) {
  if (!diagonals.empty() || holdsDeadlock(&property)) return 0;
  if (kind != propertyReachable && kind != propertyAlways) return 0;
  int chosen = options_.abstraction;
  std::vector<std::int32_t> constants;
  if (chosen == 0) {
    // Bit-state hashing compares no zones, so every distinct lower bound would make a new
    // state: above a clock's maximal constant a lower bound becomes "greater than the
    // constant" (ExtraM+, the bounds being the maximal constants everywhere).
    if (options_.representation != bitStateHashing) return 0;
    constants = maximal;
    chosen = cappedLowerBounds;
  } else {
    // The property's clock constants raise the bounds everywhere; -1 marks a clock it does not
    // read.
    constants.assign(std::size_t(ClockInfo::count()), -1);
    DiagonalGuards none;
    property.collectConstants(constants, none);
  }
  if (!bounds_ || constants != boundsConstants_) {
    bounds_ = new ClockBounds(*system_, constants);
    // Other bounds make the kept exploration's zones incomparable.
    if (constants != boundsConstants_) previousKind_ = propertyNone;
    boundsConstants_ = std::move(constants);
  }
  return chosen;
}

std::vector<ReplayedStep> Session::replay(Trace& path, Trace& loop) const {
  Scope scope(*this);
  std::vector<ReplayedStep> steps;
  Ref<GlobalState> state = system_->delayStep(startState_->copy(), false);
  for (Trace* part : {&path, &loop}) {
    for (part->reset(); !part->atEnd(); part->next()) {
      TraceStep step = part->current();
      if (state) state = system_->successor(state.get(), step.first.get(), step.second.get(), true);
      if (!state) internalError("%s", "a trace step is not enabled in the state it leaves");
      steps.push_back({step, state});
    }
  }
  return steps;
}
