// engine/simulation_list.h: a passed list that covers by LU simulation (aLU subsumption).
#pragma once

#include "engine/passed_list.h"

// Keeps full zones like the classic list, but while the system has local clock bounds set a
// new state is covered when its zone lies within aLU of a stored zone with the same discrete
// part (both abstracted by the bounds of their common locations), and a stored state is
// dropped when the new one covers it so. Without bounds it answers as the classic list.
class SimulationPassedList final : public HashBasedPassedList {
public:
  SimulationPassedList(Ref<GlobalStateHasher> hasher, unsigned size, Ref<System> system)
      : HashBasedPassedList(std::move(hasher), size), system_(std::move(system)) {}
  Ref<GlobalState> add(Ref<GlobalState> state) override;

private:
  // aLU simulation under the ClockBounds that context points to.
  static int luRelation(const ZoneNode* node, const UnpackedZone* zone, const void* context);

  Ref<System> system_;
};

class SimulationPassedListFactory final : public PassedListFactory {
public:
  SimulationPassedListFactory(Ref<GlobalStateHasher> hasher, unsigned size, Ref<System> system)
      : hasher_(std::move(hasher)), size_(size), system_(std::move(system)) {}
  Ref<PassedList> create() override { return new SimulationPassedList(hasher_, size_, system_); }

private:
  Ref<GlobalStateHasher> hasher_;
  unsigned size_;
  Ref<System> system_;
};
