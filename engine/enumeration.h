// engine/enumeration.h: the state-space enumeration that drives every forward exploration, and
// the progress indicator of long loops.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/passed_list.h"
#include "engine/waiting_list.h"
#include "model/global_state.h"
#include "base/ref.h"
#include "model/system.h"
#include "trace/trace.h"

// Whether a reached state goes into the passed list, by the storage reduction: 0 stores every
// state, 1 those without a committed process and loop entries, 2 loop entries only. A loop
// entry is reached by an edge whose process now sits in one of its loop-entry locations; the
// start state (no edges) counts as one. Only the locations of state are read.
bool isStoredState(const System& system, int reduction, const Transition* first,
                   const Transition* second, const GlobalState* state);

// A stream of explored states: each next() hands out one more state of the reachable state
// space after having queued its successors.
class StateSpaceEnumeration : public Object {
public:
  // The next explored state, null when the state space is exhausted. The state belongs to the
  // caller alone, who may narrow its zone.
  virtual Ref<GlobalState> next() = 0;
  // The trace to the state last handed out (empty after exhaustion or with traces off).
  virtual Ref<Trace> getTrace() = 0;
  // A non-null state starts a new exploration from it; null keeps what was explored (the
  // generic kind then starts again from its remembered state).
  virtual void reset(Ref<GlobalState> state) = 0;
};

// Successors with time elapse and extrapolation, a passed list for inclusion and a waiting list
// for the order.
class GenericStateSpaceEnumeration final : public StateSpaceEnumeration {
public:
  GenericStateSpaceEnumeration(Ref<System> system, Ref<PassedList> passed, Ref<WaitingList> waiting,
                               Ref<TraceStore> traces, int reduction = 1);

  Ref<GlobalState> next() override;
  Ref<Trace> getTrace() override;
  void reset(Ref<GlobalState> state) override;

  // Whether the start state is extrapolated like its successors; takes effect at the next reset
  // with a state. Off at first.
  void setAbstractStart(bool on) { abstractStart_ = on; }
  PassedList* passedList() const { return passed_.get(); }
  WaitingList* waitingList() const { return waiting_.get(); }
  int reduction() const { return reduction_; }

private:
  Ref<System> system_;
  Ref<PassedList> passed_;
  Ref<WaitingList> waiting_;
  Ref<TraceStore> traces_;
  Ref<GlobalState> initial_;
  std::int32_t lastTrace_ = -1;
  int reduction_;
  bool abstractStart_ = false;
  SuccessorList successors_;  // scratch, cleared for every state
};

// Wraps a generic enumeration and shares its passed list: after a reset with a null state it
// first replays every state stored so far (and rebuilds the unstored states that hang off
// them), then continues the wrapped exploration where it stopped.
class CachingStateSpaceEnumeration final : public StateSpaceEnumeration {
public:
  CachingStateSpaceEnumeration(Ref<GenericStateSpaceEnumeration> inner, Ref<System> system,
                               Ref<PassedList> passed, Ref<TraceStore> traces);

  Ref<GlobalState> next() override;
  Ref<Trace> getTrace() override;
  void reset(Ref<GlobalState> state) override;

private:
  // Pushes on pending the successors of state that the reduction does not store.
  void pushUnstoredSuccessors(const GlobalState* state);

  Ref<GenericStateSpaceEnumeration> inner_;
  Ref<Enumeration<GlobalState>> replay_;
  std::vector<Ref<GlobalState>> pending_;  // a stack
  Ref<System> system_;
  Ref<PassedList> passed_;
  Ref<TraceStore> traces_;
  std::int32_t lastTrace_ = -1;
  SuccessorList moves_;  // scratch for the discrete successors
};

// Called once per step of a long loop with the state about to be handled; true asks the loop
// to stop.
class Progress : public Object {
public:
  virtual bool tick(const GlobalState* state) = 0;
};

class NullProgress final : public Progress {
public:
  bool tick(const GlobalState*) override { return false; }
};
