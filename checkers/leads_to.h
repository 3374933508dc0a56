// checkers/leads_to.h: the leads-to checker of p --> q: walks the reachable states with the
// server's enumeration and, from every part of a state where p holds, asks the liveness checker
// for a run that avoids q forever. Such a run is a counterexample.
#pragma once
#include "checkers/liveness.h"
#include "engine/enumeration.h"
#include "base/ref.h"

class LeadsToChecker : public Object {
public:
  // reduction is the storage reduction of the exploration (0, 1 or 2, as the enumeration's).
  LeadsToChecker(Ref<System> system, Ref<StateSpaceEnumeration> enumeration,
                 Ref<PassedListFactory> factory, Ref<TraceStore> traces, Ref<Progress> progress,
                 int reduction = 1);
  ~LeadsToChecker() override;

  // The pair as the property parser makes it: an OrExpr with p left and q right.
  void setProperty(Ref<TCTLExpression> property);
  // Resets the enumeration (with a null state) and walks it until a counterexample is found or
  // the state space is exhausted. When the progress indicator asks to stop, throws
  // CheckError("Check stopped"): a walk cut short has no answer.
  void run();
  // True when a counterexample was found; false when every reachable state was checked:
  // p --> q holds.
  bool getResult() const { return result_; }
  // For a counterexample: the path to the state where p held, continued by the liveness
  // checker's path to the start of the run it found; then the run's loop (empty when it ends
  // in one state). Both empty when no counterexample was found.
  TracePair getTrace() const;
  // States examined by the liveness searches of the last run so far, all searches together.
  std::uint64_t livenessExplored() const { return livenessExplored_; }

private:
  Ref<System> system_;
  Ref<PassedListFactory> factory_;
  Ref<TraceStore> traces_;
  Ref<Progress> progress_;
  Ref<StateSpaceEnumeration> enumeration_;
  Ref<TCTLExpression> property_;
  Ref<LivenessChecker> liveness_;
  bool result_ = false;
  PredicateSplitter premise_;  // by p
  Ref<Trace> path_;            // the enumeration's trace to the state where p held
  std::uint64_t livenessExplored_ = 0;
};
