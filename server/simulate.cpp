// The simulator requests and the state text format: locations, zone constraints as (i, j,
// bound) groups with the bound's strictness bit inverted, and integer cells, each section
// closed by a line ".".
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/enumeration.h"
#include "model/global_state.h"
#include "model/integer.h"
#include "model/process.h"
#include "model/system.h"
#include "model/transition.h"
#include "base/error.h"
#include "server/server.h"
#include "model/clock.h"
#include "zones/zone.h"

namespace {

void expectTerminator(const std::string& line, const char* message) {
  if (!isTerminator(line)) throw ProtocolError("%s", message);
}

std::int32_t readClockIndex(std::istream& in) {
  std::int32_t index = parseInteger(readLine(in));
  if (index < 0) throw ProtocolError("Bad constraint");
  if (index >= ClockInfo::count()) throw ProtocolError("State inconsistent with current system");
  return index;
}

}  // namespace

void Server::requireSystem() {
  if (!session_.system()) throw ProtocolError("No system received");
  session_.configure();
}

Ref<GlobalState> Server::readState() {
  const System* system = session_.system();
  const int processes = system->processCount();
  const int dim = ClockInfo::count();
  Ref<GlobalState> state = GlobalState::create(processes);
  UnpackedZone* zone = UnpackedZone::create(dim, true);
  state->setZone(zone);
  state->setValuation(integerVariables().createValuation(false));

  for (int p = 0; p < processes; ++p) {
    std::int32_t location = parseInteger(readLine(in_));
    if (location < 0) throw ProtocolError("Bad control state");
    if (location >= system->process(p)->locationCount())
      throw ProtocolError("State inconsistent with current system");
    state->setLocation(p, std::int16_t(location));
  }
  expectTerminator(readLine(in_), "No terminating . after control state");

  // A bound beyond the constants a model may use would overflow the zone arithmetic. It is
  // refused once the whole state is read, so that no line of it is taken for a request word.
  bool outOfRange = false;
  for (;;) {
    std::string line = readLine(in_);
    if (isTerminator(line)) break;
    std::int32_t i = parseInteger(line);
    if (i < 0) throw ProtocolError("Bad constraint");
    if (i >= dim) throw ProtocolError("State inconsistent with current system");
    std::int32_t j = readClockIndex(in_);
    std::int32_t raw = parseInteger(readLine(in_)) ^ 1;
    if (!isInfinite(raw) && std::abs(std::int64_t(boundValue(raw))) > maxClockConstant)
      outOfRange = true;
    else
      zone->setBound(i, j, raw);
    expectTerminator(readLine(in_), "No terminating . after constraint");
  }
  zone->close();

  IntegerValuation* values = state->valuation();
  for (std::int32_t k = 0; k < values->size(); ++k) (*values)[k] = parseInteger(readLine(in_));
  expectTerminator(readLine(in_), "No terminating . after integer assignment");
  if (outOfRange) throw ProtocolError("Bad constraint");
  return state;
}

void Server::writeState(const GlobalState* state) {
  std::string text;
  for (int p = 0; p < state->processCount(); ++p) text += std::to_string(state->location(p)) + '\n';
  text += ".\n";
  PackedZone* packed = state->zone()->pack();
  for (int k = 0; k < packed->count(); ++k) {
    text += std::to_string(packed->firstClock(k)) + '\n';
    text += std::to_string(packed->secondClock(k)) + '\n';
    text += std::to_string(packed->boundAt(k) ^ 1) + '\n';
    text += ".\n";
  }
  delete packed;
  text += ".\n";
  if (const IntegerValuation* values = state->valuation())
    for (std::int32_t k = 0; k < values->size(); ++k) text += std::to_string((*values)[k]) + '\n';
  text += ".\n";
  out_ << text;
  out_.flush();
}

void Server::writeTransitionLine(const Transition* transition) {
  reply(std::to_string(transition->processNumber()) + ' ' +
        std::to_string(transition->position() + 1));
}

void Server::handleGetInitialState() {
  requireSystem();
  const System* system = session_.system();
  Ref<GlobalState> initial = system->initialState(true);
  reply("ok");
  if (!initial)
    reply(".");
  else
    writeState(initial.get());
}

void Server::handleGetTransitions() {
  requireSystem();
  const System* system = session_.system();
  Ref<GlobalState> state = readState();
  SuccessorList successors;
  // Constraints that contradict each other leave a state without valuations: nothing follows it.
  if (!state->zone()->isEmpty()) system->successors(state.get(), true, false, successors);
  reply("ok");
  for (const WaitingEntry& entry : successors) {
    if (!entry.first && !entry.second) continue;
    writeState(entry.state.get());
    if (entry.first) writeTransitionLine(entry.first.get());
    if (entry.second) writeTransitionLine(entry.second.get());
    reply(".");
  }
  reply(".");
}

void Server::handleGetSuccessor() {
  requireSystem();
  const System* system = session_.system();
  Ref<GlobalState> state = readState();
  // A reference to a transition that does not exist is remembered as such and answered as a
  // transition that cannot be taken, once the whole request has been read.
  bool exists = true;
  auto readTransition = [&]() -> Transition* {
    std::int32_t p = parseInteger(readLine(in_));
    std::int32_t k = parseInteger(readLine(in_));
    if (p < 0 || p >= system->processCount() || k < 0 || k >= system->process(p)->edgeCount()) {
      exists = false;
      return nullptr;
    }
    return system->process(p)->edge(k);
  };
  std::int32_t count = parseInteger(readLine(in_));
  Transition* first = nullptr;
  Transition* second = nullptr;
  if (count == 1) {
    second = readTransition();
  } else {
    first = readTransition();
    second = readTransition();
  }
  if (!isTerminator(readLine(in_))) throw ProtocolError("End of request expected");

  // The successor computation refuses a pair the state does not offer (an edge that does not
  // leave its process's location, a synchronising edge alone, mismatched channels).
  Ref<GlobalState> next;
  if (exists && !state->zone()->isEmpty())
    next = system->successor(state.get(), first, second, true);
  if (!next) throw ProtocolError("Transition is disabled");
  reply("ok");
  writeState(next.get());
}

void Server::handleStartState() {
  requireSystem();
  Ref<GlobalState> state = readState();
  // A start state without valuations: checks from it find nothing.
  if (state->zone()->isEmpty()) state = nullptr;
  session_.setStartState(std::move(state));
  reply("ok");
  reply(".");
}
