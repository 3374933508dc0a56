// model/system.cpp: the symbolic semantics of the network.
#include "model/system.h"

#include <cassert>
#include <ostream>

#include "model/channel.h"
#include "model/clock_bounds.h"
#include "model/global_state.h"
#include "model/symbol_table.h"
#include "model/clock.h"
#include "zones/zone.h"

namespace {

// The location process p is in, or null when the state names a location the process does not
// have (a state read from outside); such a process has no edges and no invariant.
inline const ControlState* locationOf(const Process* process, const GlobalState* state, int p) {
  if (p >= state->processCount()) return nullptr;
  const int k = state->location(p);
  return k >= 0 && k < process->locationCount() ? process->location(k) : nullptr;
}

inline UnpackedZone* unpackedZone(GlobalState* state) {
  assert(state->zone() && !state->zone()->isPacked());
  return static_cast<UnpackedZone*>(state->zone());
}

// Gives a state an unpacked zone: a packed one is replaced by its unpacked form, a missing one
// by the unconstrained zone.
void ensureUnpacked(GlobalState* state) {
  Zone* zone = state->zone();
  if (!zone)
    state->setZone(UnpackedZone::create(ClockInfo::count(), true));
  else if (zone->isPacked())
    state->setZone(zone->unpack());
}

}  // namespace

System::System(int processCount) : processes_(std::size_t(processCount > 0 ? processCount : 0)) {}

System::~System() = default;

void System::setProcess(int p, Ref<Process> process) {
  if (p < 0 || p >= processCount()) return;
  // One automaton listed twice gets a copy for the second slot: every edge knows its slot.
  if (process && process->number() >= 0 && process->number() != p) process = process->clone();
  if (process) process->numberEdges(p);
  processes_[std::size_t(p)] = std::move(process);
}

void System::prepare() {
  for (Ref<Process>& p : processes_)
    if (p) p->prepare();
}

void System::collectConstants(std::vector<std::int32_t>& maximal, DiagonalGuards& diagonals) const {
  for (const Ref<Process>& p : processes_)
    if (p) p->collectConstants(maximal, diagonals);
}

void System::storeConstants() const {
  std::vector<std::int32_t> maximal = ClockInfo::zeroConstants();
  DiagonalGuards diagonals;
  collectConstants(maximal, diagonals);
  ClockInfo::setConstants(std::move(maximal), std::move(diagonals));
}

// ---------------------------------------------------------------- rules read off a state

bool System::inUrgentLocation(const GlobalState* state) const {
  for (int p = 0; p < processCount(); ++p) {
    const ControlState* l = locationOf(process(p), state, p);
    if (l && l->isUrgent()) return true;
  }
  return false;
}

std::int32_t System::committedCount(const GlobalState* state) const {
  std::int32_t count = 0;
  for (int p = 0; p < processCount(); ++p) {
    const ControlState* l = locationOf(process(p), state, p);
    if (l && l->isCommitted()) ++count;
  }
  return count;
}

bool System::urgentSyncEnabled(const GlobalState* state) const {
  if (channels().size() == 0) return false;
  const int n = processCount();
  for (int p = 0; p < n; ++p) {
    const ControlState* lp = locationOf(process(p), state, p);
    if (!lp || lp->urgentEdges().empty()) continue;
    for (int q = p + 1; q < n; ++q) {
      const ControlState* lq = locationOf(process(q), state, q);
      if (!lq || !lp->canSynchroniseUrgentlyWith(*lq)) continue;
      for (const Ref<Transition>& e1 : lp->urgentEdges())
        for (const Ref<Transition>& e2 : lq->urgentEdges())
          if (e1->synchronisation() == -e2->synchronisation() && e1->integerGuardsHold(state) &&
              e2->integerGuardsHold(state))
            return true;
    }
  }
  return false;
}

bool System::isTimeStopped(const GlobalState* state) const {
  return inUrgentLocation(state) || committedCount(state) > 0 || urgentSyncEnabled(state);
}

bool System::applyInvariants(GlobalState* state) const {
  UnpackedZone* zone = asUnpacked(state->zone());
  for (int p = 0; p < processCount(); ++p) {
    const ControlState* l = locationOf(process(p), state, p);
    if (!l) continue;
    for (const Ref<Guard>& g : l->invariant())
      if (g->kind() == clockKind) {
        auto* bound = static_cast<const ClockGuard*>(g.get());
        zone->tightenRaw(bound->first(), bound->second(), bound->rawBound());
      }
  }
  zone->close();
  return !zone->isEmpty();
}

bool System::elapseAndRestrict(GlobalState* state, bool delay) const {
  if (delay && !isTimeStopped(state)) asUnpacked(state->zone())->delay();
  return applyInvariants(state);
}

// ---------------------------------------------------------------- forward steps

Ref<GlobalState> System::initialState(bool delay) const {
  const int n = processCount();
  Ref<GlobalState> state(GlobalState::create(n));
  for (int p = 0; p < n; ++p) state->setLocation(p, process(p)->initial());
  UnpackedZone* zone = UnpackedZone::create(ClockInfo::count(), false);
  zone->setZero();
  state->setZone(zone);
  state->setValuation(integerVariables().createValuation(true));
  if (!elapseAndRestrict(state.get(), delay)) return nullptr;
  return state;
}

Ref<GlobalState> System::successorAt(const GlobalState* state, int p, const Transition* first,
                                     int q, const Transition* second, bool delay) const {
  // Integer guards read the valuation the copy would start with: an edge they disable costs
  // no copy at all. They are evaluated again, with the clock guards, on the copy.
  if (!second->integerGuardsHold(state) || (first && !first->integerGuardsHold(state)))
    return nullptr;
  Ref<GlobalState> next(state->copyDiscrete());
  next->setZone(state->zone() ? state->zone()->unpack()
                              : UnpackedZone::create(ClockInfo::count(), true));
  GlobalState* t = next.get();
  if (first) t->setLocation(p, first->destination());
  t->setLocation(q, second->destination());
  if (!second->applyGuards(t) || (first && !first->applyGuards(t))) return nullptr;
  // The sender's updates come first, so the receiver may read what was sent.
  if (second->synchronisation() <= 0) {
    if (first) first->applyAssignments(t);
    second->applyAssignments(t);
  } else {
    second->applyAssignments(t);
    if (first) first->applyAssignments(t);
  }
  if (!elapseAndRestrict(t, delay)) return nullptr;
  return next;
}

Ref<GlobalState> System::successor(const GlobalState* state, const Transition* first,
                                   const Transition* second, bool delay) const {
  const int n = processCount();
  if (!second || state->processCount() != n) return nullptr;
  const int q = second->processNumber();
  if (q < 0 || q >= n || second->owner() != process(q)) return nullptr;
  // The pair must be one the successor computation would form: an internal edge alone, or two
  // edges of different processes on one channel in opposite directions, each leaving the
  // location its process is in, and with a committed partner when some process is committed.
  const int p = first ? first->processNumber() : q;
  if (first) {
    if (p < 0 || p >= n || p == q || first->owner() != process(p)) return nullptr;
    if (first->synchronisation() == 0 || second->synchronisation() != -first->synchronisation())
      return nullptr;
    if (state->location(p) != first->source()) return nullptr;
  } else if (second->synchronisation() != 0) {
    return nullptr;
  }
  if (state->location(q) != second->source()) return nullptr;
  if (committedCount(state) > 0 && !locationOf(process(p), state, p)->isCommitted() &&
      !locationOf(process(q), state, q)->isCommitted())
    return nullptr;
  return successorAt(state, p, first, q, second, delay);
}

void System::pairSuccessors(const GlobalState* state, int p, int q, bool delay, bool extrapolate,
                            SuccessorList& list) const {
  const int lq = state->location(q);
  const Process* pq = process(q);
  if (lq < 0 || lq >= pq->locationCount()) return;
  const std::vector<Ref<Transition>>& seconds = pq->outgoing(lq);
  auto emit = [&](const Ref<Transition>* e1, const Ref<Transition>& e2) {
    Ref<GlobalState> next = successorAt(state, p, e1 ? e1->get() : nullptr, q, e2.get(), delay);
    if (!next) return;
    if (extrapolate) this->extrapolate(next.get());
    list.push_back(WaitingEntry{e1 ? *e1 : Ref<Transition>(), e2, std::move(next)});
  };
  if (p == q) {
    for (const Ref<Transition>& e2 : seconds)
      if (e2->isInternal()) emit(nullptr, e2);
    return;
  }
  const int lp = state->location(p);
  for (const Ref<Transition>& e1 : process(p)->outgoing(lp)) {
    if (e1->isInternal()) continue;
    for (const Ref<Transition>& e2 : seconds)
      if (e2->synchronisation() == -e1->synchronisation()) emit(&e1, e2);
  }
}

template <class Visit>
void System::forEachPair(const GlobalState* state, Visit&& visit) const {
  const int n = processCount();
  if (state->processCount() != n) return;
  const bool anyCommitted = committedCount(state) > 0;
  const bool hasChannels = channels().size() > 0;
  for (int p = 0; p < n; ++p) {
    const ControlState* lp = locationOf(process(p), state, p);
    if (!lp) continue;
    const bool pCommitted = lp->isCommitted();
    if (!anyCommitted || pCommitted) visit(p, p);
    if (!hasChannels) continue;
    for (int q = p + 1; q < n; ++q) {
      const ControlState* lq = locationOf(process(q), state, q);
      if (!lq || (anyCommitted && !pCommitted && !lq->isCommitted())) continue;
      if (lp->canSynchroniseWith(*lq)) visit(p, q);
    }
  }
}

void System::extrapolate(GlobalState* state) const {
  UnpackedZone* zone = unpackedZone(state);
  if (localBounds_) {
    localBounds_->combine(state);
    extrapolateLU(*zone, localBounds_->lowerBounds(), localBounds_->upperBounds());
  } else {
    zone->extrapolate(ClockInfo::extrapolationBounds());
  }
}

void System::successors(const GlobalState* state, bool delay, bool extrapolate,
                        SuccessorList& list) const {
  forEachPair(state, [&](int p, int q) { pairSuccessors(state, p, q, delay, extrapolate, list); });
}

void System::pairDiscreteSuccessors(const GlobalState* state, int p, int q,
                                    SuccessorList& list) const {
  const int lq = state->location(q);
  const Process* pq = process(q);
  if (lq < 0 || lq >= pq->locationCount()) return;
  const std::vector<Ref<Transition>>& seconds = pq->outgoing(lq);
  auto emit = [&](const Ref<Transition>* e1, const Ref<Transition>& e2) {
    Ref<GlobalState> next(state->copyLocations());
    if (e1) next->setLocation(p, (*e1)->destination());
    next->setLocation(q, e2->destination());
    list.push_back(WaitingEntry{e1 ? *e1 : Ref<Transition>(), e2, std::move(next)});
  };
  if (p == q) {
    for (const Ref<Transition>& e2 : seconds)
      if (e2->isInternal()) emit(nullptr, e2);
    return;
  }
  for (const Ref<Transition>& e1 : process(p)->outgoing(state->location(p))) {
    if (e1->isInternal()) continue;
    for (const Ref<Transition>& e2 : seconds)
      if (e2->synchronisation() == -e1->synchronisation()) emit(&e1, e2);
  }
}

void System::discreteSuccessors(const GlobalState* state, SuccessorList& list) const {
  forEachPair(state, [&](int p, int q) { pairDiscreteSuccessors(state, p, q, list); });
}

Ref<GlobalState> System::delayStep(Ref<GlobalState> state, bool extrapolate) const {
  if (!state) return nullptr;
  ensureUnpacked(state.get());
  if (!elapseAndRestrict(state.get(), true)) return nullptr;
  if (extrapolate) this->extrapolate(state.get());
  return state;
}

// ---------------------------------------------------------------- backward step

bool System::predecessorZone(const Transition* first, const Transition* second,
                             const GlobalState* target, UnpackedZone* zone) const {
  if (!second) return false;
  if (!isTimeStopped(target)) zone->past();
  // Undo the updates in the reverse of the order they were made: the sender's came first, so
  // the receiver's are undone first; within an edge the last update is undone first.
  const Transition* undo[2] = {second, first};
  if (first && second->synchronisation() > 0) std::swap(undo[0], undo[1]);
  for (const Transition* e : undo) {
    if (!e) continue;
    const std::vector<Ref<Assignment>>& updates = e->assignments();
    for (std::size_t k = updates.size(); k-- > 0;) {
      if (!updates[k]->constrain(zone) || zone->isEmpty()) return false;
      updates[k]->release(zone);
    }
  }
  for (const Transition* e : {first, second}) {
    if (!e) continue;
    for (const Ref<Guard>& g : e->guards())
      if (g->kind() == clockKind) {
        auto* bound = static_cast<const ClockGuard*>(g.get());
        if (!zone->tightenRaw(bound->first(), bound->second(), bound->rawBound())) return false;
      }
  }
  zone->close();
  return !zone->isEmpty();
}

// ---------------------------------------------------------------- active clocks

void System::reduceActiveClocks(GlobalState* state) const {
  ensureUnpacked(state);
  UnpackedZone* zone = unpackedZone(state);
  const int dim = zone->dimension();
  if (activeUnion_.size() != dim) activeUnion_.resize(dim);
  activeUnion_.clear();
  for (int p = 0; p < processCount(); ++p)
    if (const ControlState* l = locationOf(process(p), state, p))
      activeUnion_.merge(l->activeClockBits());
  // The reference clock stays: freeing it would drop every bound of the zone.
  for (int k = 1; k < dim; ++k)
    if (!activeUnion_.test(k)) zone->free(k);
}

void System::addActiveClocks(const ClockSet& clocks) {
  for (Ref<Process>& process : processes_) {
    if (!process) continue;
    for (int k = 0; k < process->locationCount(); ++k) process->location(k)->clearActiveClocks();
    process->computeActiveClocks();
    for (int k = 0; k < process->locationCount(); ++k)
      process->location(k)->addActiveClocks(clocks);
  }
}

// ---------------------------------------------------------------- hashers and printing

Ref<GlobalStateHasher> System::makeDiscreteHasher() const { return new DiscreteHasher(this); }

Ref<GlobalStateHasher> System::makeZoneHasher() const { return new ZoneHasher(this); }

void System::print(std::ostream& out) const {
  out << "The system has " << processCount() << " processes.\n\n";
  for (const Ref<Process>& p : processes_)
    if (p) p->print(out);
}

// h <- (a * h + d) mod size, on unsigned 64-bit numbers: d is sign-extended and the sum wraps
// modulo 2^64 before the remainder is taken.
static inline std::uint64_t step(std::uint64_t h, std::int64_t a, std::int64_t d,
                                 std::uint64_t size) {
  return (std::uint64_t(a) * h + std::uint64_t(d)) % size;
}

std::uint64_t System::DiscreteHasher::discrete(const GlobalState* state, std::uint64_t size) const {
  const int n = state->processCount() < system_->processCount() ? state->processCount()
                                                                : system_->processCount();
  std::uint64_t h = 0;
  if (n > 0) h = std::uint64_t(std::int64_t(state->location(0))) % size;
  for (int i = 1; i < n; ++i)
    h = step(h, system_->process(i)->locationCount(), state->location(i), size);
  const IntegerVariables& variables = integerVariables();
  const IntegerValuation* valuation = state->valuation();
  const std::int32_t cells = valuation ? valuation->size() : 0;
  for (std::int32_t v = 0; v < variables.size(); ++v) {
    const IntegerVariable& var = variables[v];
    const std::int64_t range = std::int64_t(var.hi) - var.lo + 1;
    for (std::int32_t e = 0; e < var.size; ++e) {
      const std::int64_t cell = std::int64_t(var.offset) + e;
      // A valuation shorter than the table (not made for this system) reads initial values.
      const std::int32_t value = cell < cells ? (*valuation)[std::int32_t(cell)] : var.init;
      h = step(h, range, std::int64_t(value) - var.lo, size);
    }
  }
  return h;
}

unsigned System::DiscreteHasher::operator()(const GlobalState* state, unsigned size) const {
  if (size == 0) return 0;
  return unsigned(discrete(state, size));
}

unsigned System::ZoneHasher::operator()(const GlobalState* state, unsigned size) const {
  if (size == 0) return 0;
  std::uint64_t h = discrete_.discrete(state, size);
  const Zone* zone = state->zone();
  if (!zone) return unsigned(h);
  // The bit-state list hashes unpacked successors; a packed zone is expanded for the occasion.
  const UnpackedZone* matrix = nullptr;
  UnpackedZone* expanded = nullptr;
  if (zone->isPacked())
    matrix = expanded = zone->unpack();
  else
    matrix = static_cast<const UnpackedZone*>(zone);
  const std::vector<std::int32_t>& maxima = ClockInfo::table().maxConstants;
  const int dim = matrix->dimension();
  auto maxOf = [&](int x) -> std::int64_t {
    return std::size_t(x) < maxima.size() ? maxima[std::size_t(x)] : 0;
  };
  for (int i = 0; i < dim; ++i) {
    const std::int64_t ki = maxOf(i);
    for (int j = i + 1; j < dim; ++j) {
      const std::int64_t kj = maxOf(j);
      const std::int64_t r = (ki + kj + 1) * 2;
      const std::int32_t mij = matrix->at(i, j), mji = matrix->at(j, i);
      std::int64_t c = boundValue(mij) < ki ? boundValue(mij) : ki;
      h = step(h, r, (c + kj) * 2 + (mij & 1), size);
      c = boundValue(mji) < kj ? boundValue(mji) : kj;
      h = step(h, r, (c + ki) * 2 + (mji & 1), size);
    }
  }
  delete expanded;
  return unsigned(h);
}
