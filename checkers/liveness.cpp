#include "checkers/liveness.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_set>

#include "cdd/cdd.h"
#include "cdd/zone_cdd.h"
#include "engine/enumeration.h"
#include "base/error.h"
#include "model/clock.h"
#include "zones/zone.h"

namespace {

struct ZoneDeleter {
  void operator()(UnpackedZone* zone) const { delete zone; }
};
using ZonePtr = std::unique_ptr<UnpackedZone, ZoneDeleter>;

const UnpackedZone* unpackedZone(const GlobalState* state) {
  return static_cast<const UnpackedZone*>(state->zone());
}

// A closed unpacked copy of the state's zone; the caller owns it.
ZonePtr zoneCopy(const GlobalState* state) {
  UnpackedZone* zone = state->zone()->unpack();
  zone->close();
  return ZonePtr(zone);
}

// Narrows the zone by every clock constraint of the clause; strict lower bounds of a clock
// (reference clock minus clock) count as non-strict when loose is set. Closes; false when the
// zone became empty.
bool narrowByClocks(UnpackedZone* zone, const Conjuncts& clause, bool loose) {
  for (const Ref<TCTLExpression>& conjunct : clause) {
    if (conjunct->typeCode() != TCTLExpression::clockType) continue;
    const auto* bound = static_cast<const ClockExpr*>(conjunct.get());
    std::int32_t raw = bound->rawBound();
    if (loose && bound->first() == 0) raw |= 1;
    zone->tightenRaw(bound->first(), bound->second(), raw);
  }
  zone->close();
  return !zone->isEmpty();
}

// A diagram operation that gave no diagram: the library failed, and the search has no answer.
Cdd checked(Cdd diagram) {
  if (diagram.isNull()) throw CheckError("%s", "Decision diagram operation failed");
  return diagram;
}

// The diagram of exactly the valuations of a closed zone.
Cdd diagramOf(const UnpackedZone& zone) { return checked(cddOf(zone)); }

// The largest finite bound value (in absolute value) of a zone.
std::int64_t largestBound(const UnpackedZone& zone) {
  std::int64_t largest = 0;
  int dim = zone.dimension();
  for (int i = 0; i < dim; ++i)
    for (int j = 0; j < dim; ++j) {
      std::int32_t raw = zone.at(i, j);
      if (isInfinite(raw)) continue;
      std::int64_t value = std::llabs(std::int64_t(boundValue(raw)));
      if (value > largest) largest = value;
    }
  return largest;
}

}  // namespace

bool zonesIntersect(const GlobalState* a, const GlobalState* b) {
  ZonePtr common = zoneCopy(a);
  if (b->zone()->isPacked()) {
    ZonePtr other = zoneCopy(b);
    common->intersect(*other);
  } else {
    common->intersect(*unpackedZone(b));
  }
  return !common->isEmpty();
}

// ---- splitting by a predicate ----

PredicateSplitter::PredicateSplitter(Ref<System> system, std::vector<Conjuncts> clauses)
    : system_(std::move(system)) {
  // A clause written out again adds no valuation: only its first occurrence is kept, so that
  // "p and p and ..." negated does not cost a square of moves between equal clauses.
  std::unordered_set<std::string> seen;
  for (Conjuncts& clause : clauses) {
    std::ostringstream text;
    for (const Ref<TCTLExpression>& conjunct : clause) {
      conjunct->print(text);
      text << '\n';
    }
    if (seen.insert(text.str()).second) clauses_.push_back(std::move(clause));
  }
  timed_.assign(clauses_.size(), 0);
  deadlocks_.resize(clauses_.size());
  for (std::size_t k = 0; k < clauses_.size(); ++k)
    for (const Ref<TCTLExpression>& conjunct : clauses_[k]) {
      bool negated = false;
      if (conjunct->typeCode() == TCTLExpression::clockType) {
        timed_[k] = 1;
      } else if (const DeadlockExpr* d = deadlockLiteral(conjunct.get(), &negated)) {
        DeadlockLiterals& literals = deadlocks_[k];
        (negated ? literals.notDeadlocked : literals.deadlocked) = d;
      }
    }
}

bool PredicateSplitter::isDiscreteTest(const TCTLExpression* conjunct) {
  bool negated = false;
  return conjunct->typeCode() != TCTLExpression::clockType && !deadlockLiteral(conjunct, &negated);
}

bool PredicateSplitter::deadlocksHold(std::size_t clause, const GlobalState* part) const {
  const DeadlockLiterals& literals = deadlocks_[clause];
  if (!literals.deadlocked && !literals.notDeadlocked) return true;
  if ((literals.deadlocked && literals.notDeadlocked) || !splitting_) return false;
  const DeadlockExpr* d = literals.deadlocked ? literals.deadlocked : literals.notDeadlocked;
  return d->holdsSomewhereIn(splitting_.get(), *unpackedZone(part), !literals.deadlocked);
}

void PredicateSplitter::split(const WaitingEntry& entry, SuccessorList& out) {
  GlobalState* state = entry.state.get();
  bool mayDelay = !system_->isTimeStopped(state);
  // Deadlock literals are decided on what the entry reaches by waiting: a guard met later
  // enables the transition.
  splitting_ = nullptr;
  for (const DeadlockLiterals& literals : deadlocks_)
    if (literals.deadlocked || literals.notDeadlocked) {
      splitting_ = mayDelay
                       ? system_->delayStep(Ref<GlobalState>(state->copyUnpacked(false)), false)
                       : Ref<GlobalState>(state);
      break;
    }
  std::size_t count = clauses_.size();
  // A clause is dead when one of its discrete tests fails; dead clauses start out marked so
  // that no move ever enters them.
  marked_.assign(count, 0);
  made_.clear();
  for (std::size_t k = 0; k < count; ++k)
    for (const Ref<TCTLExpression>& conjunct : clauses_[k])
      if (isDiscreteTest(conjunct.get()) && !conjunct->satisfiedBy(state)) {
        marked_[k] = 1;
        break;
      }
  for (std::size_t k = 0; k < count; ++k) {
    if (marked_[k]) continue;
    Ref<GlobalState> part(state->copyUnpacked(false));
    if (!part->closeAndCheck()) continue;
    // The entry itself is visited: the clause must hold on some of its valuations.
    bool holds = true;
    for (const Ref<TCTLExpression>& conjunct : clauses_[k])
      if (conjunct->typeCode() == TCTLExpression::clockType && !conjunct->satisfiedBy(part.get())) {
        holds = false;
        break;
      }
    if (!holds || !deadlocksHold(k, part.get())) continue;
    if (mayDelay) {
      // What waiting reaches inside the clause: the clause is convex, so a delay that starts
      // and ends in it stays in it.
      part = system_->delayStep(std::move(part), false);
      if (!part) continue;
      auto* zone = static_cast<UnpackedZone*>(part->zone());
      if (!narrowByClocks(zone, clauses_[k], false)) continue;
      marked_[k] = 1;
      appendChanges(entry, part.get(), k, out);
      marked_[k] = 0;
    }
    made_.emplace_back(k, part.get());
    out.push_back(WaitingEntry{entry.first, entry.second, std::move(part)});
  }
  made_.clear();
  splitting_ = nullptr;
}

bool PredicateSplitter::isCovered(std::size_t clause, const GlobalState* part) const {
  const auto* zone = unpackedZone(part);
  for (const auto& [k, other] : made_) {
    if (k != clause) continue;
    Zone::Relation relation = other->zone()->relation(zone);
    if (relation == Zone::argIncludedIn || relation == Zone::equal) return true;
  }
  return false;
}

void PredicateSplitter::appendChanges(const WaitingEntry& entry, const GlobalState* from,
                                      std::size_t current, SuccessorList& out) {
  // Depth first along chains of moves, with an explicit stack: a clause on the chain is marked
  // while the chain goes on from it.
  struct Move {
    const GlobalState* from;  // kept alive by the output list
    std::size_t clause;
    std::size_t next;  // the next clause to try moving into
  };
  std::vector<Move> chain{{from, current, 0}};
  while (!chain.empty()) {
    Move& move = chain.back();
    if (move.next == clauses_.size()) {
      if (chain.size() > 1) marked_[move.clause] = 0;
      chain.pop_back();
      continue;
    }
    std::size_t k = move.next++;
    // A live clause without clock constraints holds on the whole delayed state: its own part
    // already covers whatever a move into it would reach, and the moves on from there.
    if (marked_[k] || !timed_[k]) continue;
    Ref<GlobalState> part = changePart(move.from, move.clause, k);
    if (!part || isCovered(k, part.get())) continue;
    made_.emplace_back(k, part.get());
    out.push_back(WaitingEntry{entry.first, entry.second, part});
    marked_[k] = 1;
    chain.push_back({part.get(), k, 0});
  }
}

Ref<GlobalState> PredicateSplitter::changePart(const GlobalState* from, std::size_t at,
                                               std::size_t to) const {
  // The border: the valuations of `from` together with the limits that waiting reaches as it
  // leaves `from` (its upper bounds taken as non-strict), that touch clause `to` (its strict
  // lower bounds taken as non-strict).
  ZonePtr border(unpackedZone(from)->withNonStrictUpperBounds());
  if (!narrowByClocks(border.get(), clauses_[to], true)) return nullptr;
  ZonePtr boundary(border->copy());
  if (!narrowByClocks(boundary.get(), clauses_[at], false)) {
    // The border lies beyond `from`'s own clause: it must then lie in the target clause.
    boundary = std::move(border);
    if (!narrowByClocks(boundary.get(), clauses_[to], false)) return nullptr;
  }
  Ref<GlobalState> part(from->copyDiscrete());
  part->setZone(boundary.release());
  part = system_->delayStep(std::move(part), false);
  if (!part) return nullptr;
  if (!narrowByClocks(static_cast<UnpackedZone*>(part->zone()), clauses_[to], false) ||
      !deadlocksHold(to, part.get()))
    return nullptr;
  return part;
}

// ---- the checker ----

LivenessChecker::LivenessChecker(Ref<System> system, Ref<PassedListFactory> factory,
                                 Ref<TraceStore> traces, int reduction)
    : traces_(std::move(traces)),
      front_(system->makeDiscreteHasher()),
      factory_(std::move(factory)),
      system_(std::move(system)),
      reduction_(reduction) {}

LivenessChecker::~LivenessChecker() = default;

void LivenessChecker::setProperty(Ref<TCTLExpression> property) {
  property_ = std::move(property);
  negated_ = property_->negate();
  split_ = PredicateSplitter(system_, disjunctiveNormalForm(property_.get()));
  negatedSplit_ = PredicateSplitter(system_, disjunctiveNormalForm(negated_.get()));
  passed_ = factory_->create();
}

void LivenessChecker::setInitial(Ref<GlobalState> state) { initial_ = std::move(state); }

void LivenessChecker::setProgress(Ref<Progress> progress) { progress_ = std::move(progress); }

TracePair LivenessChecker::getTrace() const {
  return TracePair(traces_->createTrace(loopStart_), traces_->createTrace(loopStart_, loopEnd_));
}

void LivenessChecker::found(std::int32_t start, std::int32_t end) {
  result_ = true;
  loopStart_ = start;
  loopEnd_ = end;
}

void LivenessChecker::run() {
  result_ = false;
  loopStart_ = loopEnd_ = -1;
  explored_ = 0;
  stack_.clear();
  front_.clear();
  if (!initial_ || !passed_ || !initial_->zone()) return;

  Ref<GlobalState> start(initial_->copyUnpacked(false));
  start->setTraceIndex(traces_->addStep(nullptr, nullptr, -1));
  parts_.clear();
  split_.split(WaitingEntry{nullptr, nullptr, std::move(start)}, parts_);
  for (WaitingEntry& part : parts_) stack_.push_back(std::move(part));
  parts_.clear();

  while (Ref<GlobalState> state = nextState()) {
    ++explored_;
    if (progress_ && progress_->tick(state.get())) throw CheckError("%s", "Check stopped");
    std::int32_t index = state->traceIndex();
    // Waiting forever in the state keeps the predicate.
    if (!system_->isTimeStopped(state.get()) && state->isUnbounded()) {
      found(index, index);
      return;
    }
    if (deadlocksInside(state.get())) {
      found(index, index);
      return;
    }
    // A transition's entry is visited before any delay: the split narrows it by the predicate
    // first, then lets time pass; the parts are extrapolated after.
    successors_.clear();
    system_->successors(state.get(), false, false, successors_);
    for (const WaitingEntry& successor : successors_) {
      parts_.clear();
      split_.split(successor, parts_);
      for (WaitingEntry& part : parts_) {
        static_cast<UnpackedZone*>(part.state->zone())
            ->extrapolate(ClockInfo::extrapolationBounds());
        part.state->setTraceIndex(traces_->addStep(part.first.get(), part.second.get(), index));
        stack_.push_back(part);
        std::int64_t hit = front_.lookup(
            part.state.get(), [&](std::size_t node) { return cycleRepeats(node, part); });
        if (hit >= 0) {
          found(front_.at(std::size_t(hit)).state->traceIndex(), part.state->traceIndex());
          return;
        }
      }
    }
  }
}

Ref<GlobalState> LivenessChecker::nextState() {
  for (;;) {
    // A front node whose depth marker is the stack size again has been explored completely.
    while (!front_.empty() && front_.top().depth == stack_.size()) front_.pop();
    if (stack_.empty()) return nullptr;
    WaitingEntry entry = std::move(stack_.back());
    stack_.pop_back();
    Ref<GlobalState> state;
    if (isStoredState(*system_, reduction_, entry.first.get(), entry.second.get(),
                      entry.state.get()))
      state = passed_->add(entry.state);
    else
      state = entry.state;
    if (!state) continue;
    if (state->zone()->isPacked()) {
      Ref<GlobalState> unpacked(state->copyUnpacked(false));
      state = std::move(unpacked);
    }
    FrontNode& node = front_.push(state, std::move(entry.first), std::move(entry.second));
    node.depth = stack_.size();
    return state;
  }
}

bool LivenessChecker::deadlocksInside(const GlobalState* state) {
  bool mayDelay = !system_->isTimeStopped(state);
  Ref<GlobalState> delayed(state->copyUnpacked(false));
  delayed = system_->delayStep(std::move(delayed), false);
  if (!delayed) return false;
  Cdd stuck = diagramOf(*unpackedZone(delayed.get()));

  // Whatever reaches a guard by waiting can act. Where time stands still only the guard's own
  // part can.
  SuccessorList successors;
  system_->successors(delayed.get(), true, false, successors);
  for (const WaitingEntry& entry : successors) {
    Ref<GlobalState> enabled(delayed->copyUnpacked(false));
    bool holds = entry.second->applyGuards(enabled.get());
    if (entry.first) holds = entry.first->applyGuards(enabled.get()) && holds;
    if (!holds) continue;
    if (mayDelay) asUnpacked(enabled->zone())->past();
    stuck = checked(stuck - diagramOf(*unpackedZone(enabled.get())));
  }
  // Whatever reaches the negation of the predicate by waiting leaves it.
  SuccessorList leaving;
  negatedSplit_.split(WaitingEntry{nullptr, nullptr, delayed}, leaving);
  for (const WaitingEntry& entry : leaving) {
    Ref<GlobalState> part(entry.state->copyUnpacked(false));
    if (mayDelay) asUnpacked(part->zone())->past();
    stuck = checked(stuck - diagramOf(*unpackedZone(part.get())));
  }
  return !checked(Cdd::reduce(stuck)).isFalse();
}

UnpackedZone* LivenessChecker::stepZone(const GlobalState* state, const UnpackedZone* zone,
                                          const Transition* first, const Transition* second) const {
  Ref<GlobalState> source(state->copyDiscrete());
  source->setZone(zone->copy());
  Ref<GlobalState> target = system_->successor(source.get(), first, second, true);
  if (!target) return nullptr;
  auto* result = static_cast<UnpackedZone*>(target->detachZone());
  result->close();
  return result;
}

bool LivenessChecker::cycleRepeats(std::size_t start, const WaitingEntry& closing) {
  std::size_t steps = front_.size() - start;
  // Step k leaves front node start + k by the edges that reached the node above it; the last
  // step leaves the top by the closing entry's edges.
  auto source = [&](std::size_t k) { return front_.at(start + k).state.get(); };
  auto edges = [&](std::size_t k) -> std::pair<const Transition*, const Transition*> {
    if (k + 1 < steps) {
      const FrontNode& next = front_.at(start + k + 1);
      return {next.first.get(), next.second.get()};
    }
    return {closing.first.get(), closing.second.get()};
  };

  // First pass: the valuations of the path's zones that follow the path all the way round.
  std::vector<ZonePtr> entered(steps);
  ZonePtr zone = zoneCopy(source(0));
  std::int64_t largest = 0;
  for (std::size_t k = 0; k < steps; ++k) {
    ZonePtr own = zoneCopy(source(k));
    largest = std::max(largest, largestBound(*own));
    zone->intersect(*own);
    if (zone->isEmpty()) return false;
    entered[k].reset(zone->copy());
    auto [first, second] = edges(k);
    zone.reset(stepZone(source(k), zone.get(), first, second));
    if (!zone) return false;
    largest = std::max(largest, largestBound(*zone));
  }
  // Further passes: the zones only shrink. Bounds bounded by the model's own sizes shrink
  // only finitely often; a bound that drifts far beyond every bound seen in the first pass
  // means a clock difference grows without end on every round, so the round can be taken
  // forever.
  const std::int64_t drift = 2 * std::int64_t(zone->dimension()) * (largest + 1) + 2;
  // Repeating the cycle is a run only when its rounds can take time: some clock reset on the
  // cycle can have grown past the value it was reset to when it is reset again. Otherwise every
  // round takes no time, and the endless repetition is a Zeno run, which does not count.
  auto roundsTakeTime = [&] {
    for (std::size_t k = 0; k < steps; ++k) {
      auto [first, second] = edges(k);
      Ref<GlobalState> before(source(k)->copyDiscrete());
      before->setZone(entered[k]->copy());
      if (!second->applyGuards(before.get()) || (first && !first->applyGuards(before.get())))
        continue;
      const auto* z = unpackedZone(before.get());
      for (const Transition* edge : {first, second}) {
        if (!edge) continue;
        for (const Ref<Assignment>& update : edge->assignments()) {
          if (update->kind() != 4) continue;
          const auto* reset = static_cast<const ClockAssign*>(update.get());
          if (z->at(reset->clock(), 0) > makeBound(reset->value(), false)) return true;
        }
      }
    }
    return false;
  };
  for (std::size_t k = 0;; k = (k + 1) % steps) {
    Zone::Relation relation = entered[k]->relation(zone.get());
    if (relation == Zone::argIncludes || relation == Zone::equal) return roundsTakeTime();
    if (largestBound(*zone) > drift) return true;
    entered[k]->intersect(*zone);
    if (entered[k]->isEmpty()) return false;
    auto [first, second] = edges(k);
    zone.reset(stepZone(source(k), entered[k].get(), first, second));
    if (!zone) return false;
  }
}
