// engine/enumeration.cpp: the generic and the caching state-space enumerations.
#include "engine/enumeration.h"

#include "model/clock.h"
#include "model/process.h"
#include "model/transition.h"
#include "zones/zone.h"

namespace {

bool reachesLoopEntry(const System& system, const Transition* edge, const GlobalState* state) {
  if (!edge) return false;
  int p = edge->processNumber();
  return system.process(p)->isLoopEntry(state->location(p));
}

}  // namespace

bool isStoredState(const System& system, int reduction, const Transition* first,
                   const Transition* second, const GlobalState* state) {
  if (reduction == 0) return true;
  if (reduction != 2 && system.committedCount(state) == 0) return true;
  if (!first && !second) return true;
  return reachesLoopEntry(system, first, state) || reachesLoopEntry(system, second, state);
}

// --- generic enumeration ---

GenericStateSpaceEnumeration::GenericStateSpaceEnumeration(Ref<System> system,
                                                           Ref<PassedList> passed,
                                                           Ref<WaitingList> waiting,
                                                           Ref<TraceStore> traces, int reduction)
    : system_(std::move(system)),
      passed_(std::move(passed)),
      waiting_(std::move(waiting)),
      traces_(std::move(traces)),
      reduction_(reduction) {}

void GenericStateSpaceEnumeration::reset(Ref<GlobalState> state) {
  if (state) initial_ = std::move(state);
  waiting_->clear();
  passed_->clear();
  lastTrace_ = -1;
  if (!initial_) return;
  Ref<GlobalState> start(initial_->copy());
  start->setTraceIndex(traces_->addStep(nullptr, nullptr, -1));
  // The start state lets time pass as far as its invariants allow; it is extrapolated only when
  // asked.
  start = system_->delayStep(std::move(start), abstractStart_);
  if (start) waiting_->put(WaitingEntry{nullptr, nullptr, std::move(start)});
}

Ref<GlobalState> GenericStateSpaceEnumeration::next() {
  while (!waiting_->isEmpty()) {
    WaitingEntry entry = waiting_->get();
    Ref<GlobalState> state;
    if (isStoredState(*system_, reduction_, entry.first.get(), entry.second.get(),
                      entry.state.get()))
      state = passed_->add(std::move(entry.state));
    else
      state = std::move(entry.state);
    if (!state) continue;
    successors_.clear();
    system_->successors(state.get(), true, true, successors_);
    std::int32_t parent = state->traceIndex();
    for (WaitingEntry& successor : successors_) {
      successor.state->setTraceIndex(
          traces_->addStep(successor.first.get(), successor.second.get(), parent));
      waiting_->put(std::move(successor));
    }
    successors_.clear();
    lastTrace_ = parent;
    return state;
  }
  lastTrace_ = -1;
  return nullptr;
}

Ref<Trace> GenericStateSpaceEnumeration::getTrace() { return traces_->createTrace(lastTrace_); }

// --- caching enumeration ---

CachingStateSpaceEnumeration::CachingStateSpaceEnumeration(Ref<GenericStateSpaceEnumeration> inner,
                                                           Ref<System> system,
                                                           Ref<PassedList> passed,
                                                           Ref<TraceStore> traces)
    : inner_(std::move(inner)),
      system_(std::move(system)),
      passed_(std::move(passed)),
      traces_(std::move(traces)) {}

void CachingStateSpaceEnumeration::reset(Ref<GlobalState> state) {
  pending_.clear();
  if (state) inner_->reset(std::move(state));
  replay_ = passed_->enumerate();
  lastTrace_ = -1;
}

void CachingStateSpaceEnumeration::pushUnstoredSuccessors(const GlobalState* state) {
  moves_.clear();
  system_->discreteSuccessors(state, moves_);
  for (const WaitingEntry& move : moves_) {
    // The locations of the move's target decide whether it would be stored; stored targets are
    // met again by the replay.
    if (isStoredState(*system_, inner_->reduction(), move.first.get(), move.second.get(),
                      move.state.get()))
      continue;
    Ref<GlobalState> target = system_->successor(state, move.first.get(), move.second.get(), true);
    if (!target) continue;
    system_->extrapolate(target.get());
    target->setTraceIndex(
        traces_->addStep(move.first.get(), move.second.get(), state->traceIndex()));
    pending_.push_back(std::move(target));
  }
  moves_.clear();
}

Ref<GlobalState> CachingStateSpaceEnumeration::next() {
  Ref<GlobalState> state;
  if (!pending_.empty()) {
    state = std::move(pending_.back());
    pending_.pop_back();
  } else if (replay_) {
    if (GlobalState* stored = replay_->next()) {
      state = stored->copyUnpacked(false);
    } else {
      replay_ = nullptr;
    }
  }
  if (!state) return inner_->next();
  pushUnstoredSuccessors(state.get());
  lastTrace_ = state->traceIndex();
  return state;
}

Ref<Trace> CachingStateSpaceEnumeration::getTrace() {
  if (replay_) return traces_->createTrace(lastTrace_);
  return inner_->getTrace();
}
