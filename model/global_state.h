// model/global_state.h: the symbolic state of the network: a location per process, the integer
// valuation and a zone.
#pragma once
#include <cstdint>

#include "model/integer.h"
#include "base/ref.h"

class Zone;
struct StateRegistry;

// One block per state: the object and then the locations (16 bits each, padded to whole 32-bit
// words). A registered state has two link words in front of it and sits in the current
// registry, so a whole exploration is freed in one sweep. The state owns its zone and valuation.
// States are made by the static create functions and copies, and go through release() (the last
// Ref), destroy() or the registry functions; release() unlinks a registered state first.
class GlobalState : public Object {
 public:
  // Zone and valuation null, trace index -1, every location 0.
  static GlobalState* create(std::int32_t processes);
  static GlobalState* createRegistered(std::int32_t processes);

  // Same locations, trace index, valuation and a copy of the zone of the same kind.
  GlobalState* copy() const;
  // Locations, valuation and trace index; no zone.
  GlobalState* copyDiscrete() const;
  // Locations and trace index only.
  GlobalState* copyLocations() const;
  // As copy(), with the zone packed or unpacked; registered when asked.
  GlobalState* copyPacked(bool registered) const;
  GlobalState* copyUnpacked(bool registered) const;

  // How this state (typically the stored one) relates to other: noInclusion when the discrete
  // parts differ, else the relation of the zones (other's zone should be unpacked).
  int relation(const GlobalState* other) const;
  // Same locations, and same values when the system has integer variables.
  bool sameDiscrete(const GlobalState* other) const;
  // Closes the zone; false when it is empty (a state without a zone is not).
  bool closeAndCheck();
  // Lets time pass: the zone loses its upper bounds.
  void delay();
  bool isUnbounded() const;  // false without a zone
  bool isPacked() const;     // false without a zone

  // "GlobalState::noInclusion", ... , "*ILLEGAL*" for a code that is none of 0, 1, 2, 4.
  static const char* relationName(int code);

  // Unlinks a registered state and destroys it; null does nothing.
  static void destroyRegistered(GlobalState* state);
  // Destroys every registered state, newest first; the registry is empty afterwards.
  static void destroyAllRegistered();
  // The same on a given registry, whichever model is current.
  static void destroyAllRegistered(StateRegistry& states);
  // Destroys a state; null does nothing.
  static void destroy(GlobalState* state);
  // Oldest registered state, and the walk from it; for diagnostics and tests.
  static GlobalState* firstRegistered();
  GlobalState* nextRegistered() const;
  static std::int32_t registeredCount();

  void release() override;

  std::int32_t processCount() const { return processes_; }
  std::int16_t location(std::int32_t process) const { return locations()[process]; }
  void setLocation(std::int32_t process, std::int32_t location) {
    locations()[process] = std::int16_t(location);
  }
  std::int16_t* locations() { return reinterpret_cast<std::int16_t*>(this + 1); }
  const std::int16_t* locations() const { return reinterpret_cast<const std::int16_t*>(this + 1); }
  // Location slots in the block: the process count rounded up to an even number.
  std::int32_t locationSlots() const { return (processes_ + 1) & ~1; }

  Zone* zone() const { return zone_; }
  // Takes ownership of zone and destroys the previous one.
  void setZone(Zone* zone);
  // Hands the zone over to the caller; the state is left without one.
  Zone* detachZone() {
    Zone* zone = zone_;
    zone_ = nullptr;
    return zone;
  }

  IntegerValuation* valuation() const { return valuation_; }
  // Takes ownership of valuation and destroys the previous one.
  void setValuation(IntegerValuation* valuation);

  std::int32_t traceIndex() const { return traceIndex_; }
  void setTraceIndex(std::int32_t index) { traceIndex_ = index; }

  bool isRegistered() const { return registered_; }

  GlobalState(const GlobalState&) = delete;
  GlobalState& operator=(const GlobalState&) = delete;

 private:
  struct Links {
    GlobalState* previous;
    GlobalState* next;
  };

  GlobalState(std::int32_t processes, bool registered)
      : processes_(processes), registered_(registered) {}
  ~GlobalState() override;

  static GlobalState* make(std::int32_t processes, bool registered);
  void enterRegistry();
  // A new state with this state's locations and trace index.
  GlobalState* copyHeader(bool registered) const;
  Links* links() const { return reinterpret_cast<Links*>(const_cast<GlobalState*>(this)) - 1; }
  void unlink(StateRegistry& states);
  // Runs the destructor and frees the whole block.
  void free();
  void free(StateRegistry& states);
  int zoneRelation(const GlobalState* other) const;

  std::int32_t processes_;
  Zone* zone_ = nullptr;
  IntegerValuation* valuation_ = nullptr;
  std::int32_t traceIndex_ = -1;
  bool registered_;
};
