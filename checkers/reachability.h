// checkers/reachability.h: the reachability check of E<> p and A[] p: a forward search through
// the server's state-space enumeration for a state that satisfies the search predicate (p, or
// the negation of p for A[] p).
#pragma once
#include "checkers/liveness.h"
#include "base/ref.h"
#include "trace/trace.h"

class StateSpaceEnumeration;
class TCTLExpression;

struct ReachabilityResult {
  // Some state satisfies the predicate: E<> p holds, A[] p fails.
  bool found = false;
  // The enumeration's trace to that state (empty when none was found or traces are off), and
  // an empty NullTrace.
  TracePair trace;
};

// Pulls states from the enumeration, which the caller has reset, until one satisfies the
// predicate (its zone is narrowed to the satisfying part) or the enumeration is exhausted. The
// enumeration keeps its lists, so a following check may continue from them.
ReachabilityResult checkReachability(StateSpaceEnumeration& enumeration,
                                     const TCTLExpression& predicate);
