#include "checkers/leads_to.h"

#include "base/error.h"
#include "tctl/tctl_expression.h"

LeadsToChecker::LeadsToChecker(Ref<System> system, Ref<StateSpaceEnumeration> enumeration,
                               Ref<PassedListFactory> factory, Ref<TraceStore> traces,
                               Ref<Progress> progress, int reduction)
    : system_(std::move(system)),
      factory_(std::move(factory)),
      traces_(std::move(traces)),
      progress_(std::move(progress)),
      enumeration_(std::move(enumeration)),
      liveness_(new LivenessChecker(system_, factory_, traces_, reduction)) {
  liveness_->setProgress(progress_);
}

LeadsToChecker::~LeadsToChecker() = default;

void LeadsToChecker::setProperty(Ref<TCTLExpression> property) {
  if (property->typeCode() != TCTLExpression::orType)
    throw Bug("NI: %s", "LeadsToChecker::setProperty(non-pair property)");
  property_ = std::move(property);
}

void LeadsToChecker::run() {
  result_ = false;
  livenessExplored_ = 0;
  path_ = nullptr;
  if (!property_) return;
  auto* pair = static_cast<OrExpr*>(property_.get());
  premise_ = PredicateSplitter(system_, disjunctiveNormalForm(pair->left()));
  // One liveness search per part where p holds, all sharing one passed list: a state explored
  // from one part is not explored again from the next.
  liveness_->setProperty(pair->right()->negate());
  enumeration_->reset(nullptr);

  SuccessorList parts;
  while (Ref<GlobalState> state = enumeration_->next()) {
    if (progress_ && progress_->tick(state.get())) throw CheckError("%s", "Check stopped");
    parts.clear();
    premise_.split(WaitingEntry{nullptr, nullptr, state}, parts);
    for (const WaitingEntry& part : parts) {
      liveness_->setInitial(part.state);
      liveness_->run();
      livenessExplored_ += liveness_->exploredCount();
      if (liveness_->getResult()) {
        result_ = true;
        path_ = enumeration_->getTrace();
        return;
      }
    }
  }
}

TracePair LeadsToChecker::getTrace() const {
  if (!result_) return TracePair(Ref<Trace>(new NullTrace), Ref<Trace>(new NullTrace));
  TracePair run = liveness_->getTrace();
  return TracePair(concatTraces(path_, run.first), run.second);
}
