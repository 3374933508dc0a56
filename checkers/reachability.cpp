#include "checkers/reachability.h"

#include "engine/enumeration.h"
#include "tctl/tctl_expression.h"

ReachabilityResult checkReachability(StateSpaceEnumeration& enumeration,
                                     const TCTLExpression& predicate) {
  ReachabilityResult result;
  Ref<GlobalState> state = enumeration.next();
  while (state && !predicate.satisfiedBy(state.get())) state = enumeration.next();
  result.found = bool(state);
  result.trace = TracePair(enumeration.getTrace(), Ref<Trace>(new NullTrace));
  return result;
}
