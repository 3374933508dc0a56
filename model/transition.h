// model/transition.h: an edge of a process: guards, an optional synchronisation, assignments.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "model/assignment.h"
#include "model/guard.h"
#include "base/ref.h"

class GlobalState;

class Process;
class Zone;

class Transition : public Object {
 public:
  // sync: 0 internal, +c sends on channel c, -c receives on it (channels counted from 1).
  Transition(std::int32_t sync, std::vector<Ref<Guard>> guards,
             std::vector<Ref<Assignment>> assignments);
  Transition();
  ~Transition() override;

  std::int32_t synchronisation() const { return sync_; }
  void setSynchronisation(std::int32_t sync) { sync_ = sync; }
  bool isInternal() const { return sync_ == 0; }
  std::int16_t source() const { return source_; }
  std::int16_t destination() const { return destination_; }
  void setSource(std::int16_t location) { source_ = location; }
  void setDestination(std::int16_t location) { destination_ = location; }
  // Number of the owning process in the system, -1 until the process is placed.
  std::int32_t processNumber() const { return processNumber_; }
  void setProcessNumber(std::int32_t p) { processNumber_ = p; }
  // Index in the owning process's edge array.
  std::int32_t position() const { return position_; }
  void setPosition(std::int32_t k) { position_ = k; }
  // The owning process; a back pointer that the process clears when it goes, so an edge kept
  // by a trace after its system is gone reads null here.
  Process* owner() const { return owner_; }
  void setOwner(Process* process) { owner_ = process; }

  void addGuard(Ref<Guard> guard);
  void addAssignment(Ref<Assignment> assignment);
  const std::vector<Ref<Guard>>& guards() const { return guards_; }
  const std::vector<Ref<Assignment>>& assignments() const { return assignments_; }
  const ClockSet& testedClocks() const { return tested_; }
  const ClockSet& resetClocks() const { return reset_; }

  // Every guard is applied, even after one failed; when all held, the zone is closed and the
  // result is whether it is non-empty.
  bool applyGuards(GlobalState* state) const;
  // Every integer guard is evaluated (all of them); clock guards are not looked at. For edges on
  // urgent channels, which carry no clock guards, this is applyGuards without the closure.
  bool integerGuardsHold(const GlobalState* state) const;
  void applyAssignments(GlobalState* state) const;
  // Backward step: x == c for every clock reset x := c, then closure; false when empty.
  bool constrainAssignments(GlobalState* state) const;
  bool constrainAssignments(Zone* zone) const;
  // Backward step: frees every reset clock.
  void releaseAssignments(GlobalState* state) const;
  void releaseAssignments(Zone* zone) const;
  // values[x] = c for every clock reset x := c; values has an entry per clock.
  void resetValues(std::int32_t* values) const;

  void collectConstants(std::vector<std::int32_t>& maximal, DiagonalGuards& diagonals) const;
  // Fills the tested and reset clock sets from the labels.
  void collectClocks();
  // Guards, synchronisation and assignments as "{ guard ...; sync c!; assign ...; }".
  void printLabels(std::ostream& out) const;
  // Not supported: throws Bug.
  void print() const;

 private:
  std::int32_t sync_ = 0;
  std::int16_t source_ = -1;
  std::int16_t destination_ = -1;
  std::int32_t processNumber_ = -1;
  Process* owner_ = nullptr;
  std::int32_t position_ = -1;
  std::vector<Ref<Guard>> guards_;
  std::vector<Ref<Assignment>> assignments_;
  ClockSet tested_;
  ClockSet reset_;
};
