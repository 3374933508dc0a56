#include "model/global_state.h"

#include <cstring>
#include <new>

#include "model/clock.h"
#include "model/model_tables.h"
#include "model/symbol_table.h"
#include "zones/zone.h"

namespace {
// The registry of the current model.
StateRegistry& registry() { return modelTables().states; }
}  // namespace

GlobalState* GlobalState::make(std::int32_t processes, bool isRegistered) {
  if (processes < 0) processes = 0;
  std::size_t slots = std::size_t((processes + 1) & ~1);
  std::size_t front = isRegistered ? sizeof(Links) : 0;
  std::size_t bytes = front + sizeof(GlobalState) + slots * sizeof(std::int16_t);
  char* block = static_cast<char*>(::operator new(bytes));
  GlobalState* state = new (block + front) GlobalState(processes, isRegistered);
  std::memset(state->locations(), 0, slots * sizeof(std::int16_t));
  if (isRegistered) state->enterRegistry();
  return state;
}

// Out of line, so that make() stays small enough to inline into the copies successors take.
void GlobalState::enterRegistry() {
  StateRegistry& states = registry();
  Links* own = links();
  own->previous = states.tail;
  own->next = nullptr;
  if (states.tail)
    states.tail->links()->next = this;
  else
    states.head = this;
  states.tail = this;
  ++states.count;
}

GlobalState* GlobalState::create(std::int32_t processes) { return make(processes, false); }

GlobalState* GlobalState::createRegistered(std::int32_t processes) { return make(processes, true); }

GlobalState::~GlobalState() {
  delete zone_;
  IntegerValuation::destroy(valuation_);
}

void GlobalState::unlink(StateRegistry& states) {
  Links* links = this->links();
  if (links->previous)
    links->previous->links()->next = links->next;
  else
    states.head = links->next;
  if (links->next)
    links->next->links()->previous = links->previous;
  else
    states.tail = links->previous;
  --states.count;
  registered_ = false;
}

void GlobalState::free() { free(registry()); }

void GlobalState::free(StateRegistry& states) {
  void* block = registered_ ? static_cast<void*>(links()) : static_cast<void*>(this);
  if (registered_) unlink(states);
  this->~GlobalState();
  ::operator delete(block);
}

void GlobalState::release() { free(); }

void GlobalState::destroy(GlobalState* state) {
  if (state) state->free();
}

void GlobalState::destroyRegistered(GlobalState* state) {
  if (state) state->free();
}

void GlobalState::destroyAllRegistered() { destroyAllRegistered(registry()); }

void GlobalState::destroyAllRegistered(StateRegistry& states) {
  while (states.tail) states.tail->free(states);
}

GlobalState* GlobalState::firstRegistered() { return registry().head; }

GlobalState* GlobalState::nextRegistered() const { return registered_ ? links()->next : nullptr; }

std::int32_t GlobalState::registeredCount() { return registry().count; }

void GlobalState::setZone(Zone* zone) {
  if (zone != zone_) delete zone_;
  zone_ = zone;
}

void GlobalState::setValuation(IntegerValuation* valuation) {
  if (valuation != valuation_) IntegerValuation::destroy(valuation_);
  valuation_ = valuation;
}

GlobalState* GlobalState::copyHeader(bool isRegistered) const {
  GlobalState* state = make(processes_, isRegistered);
  std::memcpy(state->locations(), locations(), std::size_t(processes_) * sizeof(std::int16_t));
  state->traceIndex_ = traceIndex_;
  return state;
}

GlobalState* GlobalState::copy() const {
  GlobalState* state = copyHeader(false);
  state->valuation_ = IntegerValuation::copy(valuation_);
  if (zone_) state->zone_ = zone_->copy();
  return state;
}

GlobalState* GlobalState::copyDiscrete() const {
  GlobalState* state = copyHeader(false);
  state->valuation_ = IntegerValuation::copy(valuation_);
  return state;
}

GlobalState* GlobalState::copyLocations() const { return copyHeader(false); }

GlobalState* GlobalState::copyPacked(bool isRegistered) const {
  GlobalState* state = copyHeader(isRegistered);
  state->valuation_ = IntegerValuation::copy(valuation_);
  if (zone_) state->zone_ = zone_->pack();
  return state;
}

GlobalState* GlobalState::copyUnpacked(bool isRegistered) const {
  GlobalState* state = copyHeader(isRegistered);
  state->valuation_ = IntegerValuation::copy(valuation_);
  if (zone_) state->zone_ = zone_->unpack();
  return state;
}

int GlobalState::zoneRelation(const GlobalState* other) const {
  if (!zone_ || !other->zone_) return zone_ == other->zone_ ? Zone::equal : Zone::noInclusion;
  if (zone_->dimension() != other->zone_->dimension()) return Zone::noInclusion;
  if (!other->zone_->isPacked())
    return zone_->relation(static_cast<const UnpackedZone*>(other->zone_));
  // Stored states compare against new, unpacked ones; a packed argument is unpacked for once.
  UnpackedZone* unpacked = other->zone_->unpack();
  int result = zone_->relation(unpacked);
  delete static_cast<Zone*>(unpacked);
  return result;
}

int GlobalState::relation(const GlobalState* other) const {
  if (processes_ != other->processes_ ||
      std::memcmp(locations(), other->locations(),
                  std::size_t(processes_) * sizeof(std::int16_t)) != 0)
    return Zone::noInclusion;
  const SymbolTable& table = symbols();
  if (table.counter(integerKind) == 0) return zoneRelation(other);
  int values = IntegerValuation::equal(valuation_, other->valuation_);
  if (table.counter(clockKind) == 0) return values;
  if (values != Zone::equal) return Zone::noInclusion;
  return zoneRelation(other);
}

bool GlobalState::sameDiscrete(const GlobalState* other) const {
  if (processes_ != other->processes_ ||
      std::memcmp(locations(), other->locations(),
                  std::size_t(processes_) * sizeof(std::int16_t)) != 0)
    return false;
  return symbols().counter(integerKind) == 0 ||
         IntegerValuation::equal(valuation_, other->valuation_) == Zone::equal;
}

bool GlobalState::closeAndCheck() {
  if (!zone_) return true;  // no zone, no clock constraint
  asUnpacked(zone_)->close();
  return !zone_->isEmpty();
}

void GlobalState::delay() {
  if (zone_) asUnpacked(zone_)->delay();
}

bool GlobalState::isUnbounded() const {
  if (!zone_) return false;
  const UnpackedZone* zone = asUnpacked(zone_);
  for (int i = 0; i < zone->dimension(); ++i)
    if (!ClockInfo::isReference(i) && zone->hasUpperBound(i)) return false;
  return true;
}

bool GlobalState::isPacked() const { return zone_ && zone_->isPacked(); }

const char* GlobalState::relationName(int code) {
  switch (code) {
    case Zone::noInclusion:
      return "GlobalState::noInclusion";
    case Zone::argIncludedIn:
      return "GlobalState::argIncludedIn";
    case Zone::argIncludes:
      return "GlobalState::argIncludes";
    case Zone::equal:
      return "GlobalState::equal";
  }
  return "*ILLEGAL*";
}
