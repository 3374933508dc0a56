// The newSystem request and the engine objects built from the loaded system and the options.
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cdd/cdd.h"
#include "engine/enumeration.h"
#include "engine/pastwait.h"
#include "gta/parser.h"
#include "model/globstat.h"
#include "model/integer.h"
#include "model/system.h"
#include "server/error.h"
#include "server/server.h"
#include "trace/trace.h"
#include "zones/clock.h"

void Server::handleNewSystem() {
  std::stringstream text;
  if (!readTextBlock(in_, text)) throw ProtocolError("Protocol violation when receiving system");
  // The reader resets the model tables, and puts the previous ones back when it rejects the
  // text, so a failed upload leaves the loaded model working as before.
  ParseResult parsed = parseSystem(text);
  if (!parsed.system) throw ProtocolError("Syntax errors in system.");

  drop(dropEnumeration | dropPassed | dropWaiting);
  cdd::done();
  cdd::init(64, 10000, 10000);
  cdd::setGCHandler(nullptr);
  cdd::setRehashHandler(nullptr);
  cdd::addClocks(ClockInfo::count());

  std::vector<std::int32_t> maximal = ClockInfo::zeroConstants();
  DiagonalGuards diagonals;
  parsed.system->collectConstants(maximal, diagonals);
  ClockInfo::setConstants(std::move(maximal), std::move(diagonals));

  system_ = std::move(parsed.system);
  discreteHasher_ = system_->makeDiscreteHasher();
  regionHasher_ = system_->makeRegionHasher();
  startState_ = system_->initialState(false);
  activeClockSet_.clear();
  configure();

  std::string cells;
  const IntegerVariables& variables = integerVariables();
  for (std::int32_t v = 0; v < variables.size(); ++v) {
    const IntegerVariable& variable = variables[v];
    if (variable.size == 1) {
      cells += variable.name + ' ';
    } else {
      for (std::int32_t k = 0; k < variable.size; ++k)
        cells += variable.name + '[' + std::to_string(k) + "] ";
    }
  }
  std::string clocks;
  for (std::int32_t c = 0; c < ClockInfo::count(); ++c) clocks += std::string(ClockInfo::name(c)) + ' ';
  reply("ok");
  reply(cells);
  reply(clocks);
  reply(".");
}

void Server::drop(unsigned what) {
  if (what & dropWaiting) waitingFactory_ = nullptr;
  if (what & dropPassed) passedFactory_ = nullptr;
  if (what & dropTraces) traceStore_ = nullptr;
  if (what & dropEnumeration) {
    enumeration_ = nullptr;
    // A new enumeration explores from scratch with freshly collected constants and, with the
    // active-clock reduction, a fresh analysis of the current system.
    previousKind_ = 6;
  }
}

void Server::configure() {
  if (!system_) return;
  if (!traceStore_) {
    if (options_.trace)
      traceStore_ = new MemoryTraceStore;
    else
      traceStore_ = new NullTraceStore;
  }
  if (!passedFactory_) {
    convexHullInUse_ = bitStateInUse_ = false;
    switch (options_.representation) {
      case 2:
        passedFactory_ = new BitStatePassedListFactory(regionHasher_, bitStateBits);
        bitStateInUse_ = true;
        break;
      case 3:
        passedFactory_ = new ConvexHullPassedListFactory(discreteHasher_, passedListBuckets);
        convexHullInUse_ = true;
        break;
      default:
        passedFactory_ = new ClassicPassedListFactory(discreteHasher_, passedListBuckets,
                                                      options_.representation == 1);
    }
  }
  if (!waitingFactory_) {
    Ref<WaitingListFactory> factory;
    bool hull = options_.representation == 3;
    if (!options_.order) {
      if (hull)
        factory = new HashBasedWaitingListFactory<ConvexHullWaitingQueue>(discreteHasher_,
                                                                          waitingListBuckets);
      else
        factory = new HashBasedWaitingListFactory<WaitingQueue>(discreteHasher_, waitingListBuckets);
    } else {
      if (hull)
        factory = new HashBasedWaitingListFactory<ConvexHullWaitingStack>(discreteHasher_,
                                                                          waitingListBuckets);
      else
        factory = new HashBasedWaitingListFactory<WaitingStack>(discreteHasher_, waitingListBuckets);
    }
    if (options_.activeClocks) factory = new ActiveClockWaitingListDecoratorFactory(system_, factory);
    waitingFactory_ = std::move(factory);
  }
  if (!enumeration_) {
    Ref<PassedList> passed = passedFactory_->create();
    Ref<GenericStateSpaceEnumeration> generic = new GenericStateSpaceEnumeration(
        system_, passed, waitingFactory_->create(), traceStore_, options_.reduction);
    if (options_.reuse)
      enumeration_ = new CachingStateSpaceEnumeration(generic, system_, passed, traceStore_);
    else
      enumeration_ = generic;
    enumeration_->reset(startState_);
    GlobalState::destroyAllRegistered();
  }
}
