// The modelCheck request: parse a property, decide whether the last exploration can be
// reused, run the checker of the property's kind, and answer a verdict and maybe a trace.
#include <cstdint>
#include <iostream>
#include <sstream>
#include <vector>

#include "checkers/leadsto.h"
#include "checkers/liveness.h"
#include "checkers/reachability.h"
#include "engine/enumeration.h"
#include "model/globstat.h"
#include "model/system.h"
#include "server/error.h"
#include "server/server.h"
#include "tctl/parser.h"
#include "tctl/tctlexpr.h"
#include "trace/trace.h"
#include "zones/clock.h"

namespace {

// The maximal constants and difference constraints that the system and the property need.
void collectTables(const System& system, const TCTLExpression& property,
                   std::vector<std::int32_t>& maximal, DiagonalGuards& diagonals) {
  maximal = ClockInfo::zeroConstants();
  system.collectConstants(maximal, diagonals);
  property.collectConstants(maximal, diagonals);
}

}  // namespace

void Server::handleModelCheck() {
  if (!system_) throw ProtocolError("No system received");
  std::stringstream text;
  if (!readTextBlock(in_, text))
    throw ProtocolError("Protocol violation when receiving property");

  std::ostringstream diagnostics;
  setErrorStream(diagnostics);
  lineNumber = 1;
  ParsedProperty parsed = parseProperty(text, system_);
  setErrorStream(std::cerr);
  if (!parsed.expression) throw InputError("%s", diagnostics.str().c_str());
  const int kind = parsed.kind;
  if (kind < propertyAlways || kind > propertyLeadsTo) throw InputError("Unsupported property type.");
  configure();
  TCTLExpression& property = *parsed.expression;

  std::vector<std::int32_t> maximal;
  DiagonalGuards diagonals;
  collectTables(*system_, property, maximal, diagonals);
  if (!options_.reuse) {
    previousKind_ = 6;
  } else if (maximal != ClockInfo::table().maxConstants || !(diagonals == ClockInfo::diagonals())) {
    previousKind_ = 6;
  }
  if (options_.activeClocks) {
    ClockSet clocks;
    property.collectClocks(clocks);
    if (previousKind_ == 6 || clocks != activeClockSet_) {
      activeClockSet_ = clocks;
      system_->addActiveClocks(activeClockSet_);
      previousKind_ = 6;
    }
  }
  if (previousKind_ == 6) ClockInfo::setConstants(std::move(maximal), std::move(diagonals));

  if (previousKind_ == propertyAlways || previousKind_ == propertyReachable ||
      previousKind_ == propertyLeadsTo) {
    enumeration_->reset(nullptr);
  } else {
    enumeration_->reset(startState_);
    GlobalState::destroyAllRegistered();
  }

  bool result = false;
  TracePair trace;
  switch (kind) {
    case propertyAlways:
    case propertyReachable: {
      ReachabilityResult found = checkReachability(*enumeration_, property);
      result = found.found;
      trace = found.trace;
      break;
    }
    case propertyPersistent:
    case propertyInevitable: {
      if (!startState_) break;
      Ref<LivenessChecker> checker =
          new LivenessChecker(system_, passedFactory_, traceStore_, options_.reduction);
      checker->setProperty(parsed.expression);
      checker->setInitial(startState_);
      checker->run();
      result = checker->getResult();
      trace = checker->getTrace();
      break;
    }
    case propertyLeadsTo: {
      Ref<LeadsToChecker> checker = new LeadsToChecker(system_, enumeration_, passedFactory_,
                                                       traceStore_, progress_, options_.reduction);
      checker->setProperty(parsed.expression);
      checker->run();
      result = checker->getResult();
      trace = checker->getTrace();
      break;
    }
  }
  parsed.expression = nullptr;
  previousKind_ = kind;

  char verdict;
  if (result)
    verdict = convexHullInUse_ ? 'M' : 'T';
  else
    verdict = bitStateInUse_ ? 'M' : 'F';
  // A[], A<> and --> searched for a counterexample: finding one refutes the property.
  if (kind == propertyAlways || kind == propertyInevitable || kind == propertyLeadsTo) {
    if (verdict == 'T')
      verdict = 'F';
    else if (verdict == 'F')
      verdict = 'T';
  }
  reply("ok");
  reply(std::string(1, verdict));
  if (options_.trace && result && trace.first && trace.second) {
    writeTrace(*trace.first, *trace.second);
  } else {
    reply("0");
    reply("0");
    reply(".");
  }
}

void Server::writeTrace(Trace& path, Trace& loop) {
  reply(std::to_string(path.length()));
  reply(std::to_string(loop.length()));
  Ref<GlobalState> state = startState_->copy();
  state = system_->delayStep(std::move(state), false);
  for (Trace* part : {&path, &loop}) {
    for (part->reset(); !part->atEnd(); part->next()) {
      TraceStep step = part->current();
      if (state) state = system_->successor(state.get(), step.first.get(), step.second.get(), true);
      if (!state) internalError("%s", "a trace step is not enabled in the state it leaves");
      writeState(state.get());
      if (step.first) writeTransitionLine(step.first.get());
      if (step.second) writeTransitionLine(step.second.get());
      reply(".");
    }
  }
  reply(".");
}
