// model/assignment.h: the updates on edges: the abstract Assignment and the integer assignment;
// clock resets are in model/clock.h.
#pragma once
#include <cstdint>
#include <iosfwd>

#include "base/ref.h"
#include "model/guard.h"

class GlobalState;
class Zone;
class IntegerExpression;
class VariableExpression;

// An update on an edge: integer variables get values, clocks get reset.
class Assignment : public Object {
 public:
  using Object::release;
  virtual std::int32_t kind() const = 0;  // 5 integer, 4 clock
  virtual void apply(GlobalState* state) const = 0;
  // The backward step through the update: constrain to the values it leaves behind, then
  // release what it overwrote. constrain is false when the zone becomes empty.
  virtual void release(GlobalState* state) const = 0;
  virtual bool constrain(GlobalState* state) const = 0;
  virtual void release(Zone* zone) const;
  virtual bool constrain(Zone* zone) const;
  virtual void print(std::ostream& out) const = 0;
  // Adds the clocks the update resets to reset; owner is the process number.
  virtual void collectClocks(std::int32_t owner, ClockSet& tested, ClockSet& reset) const;
};

// target := value, wrapped into the target's domain; an index outside the array changes nothing.
class IntegerAssign : public Assignment {
 public:
  using Assignment::constrain;
  using Assignment::release;

  IntegerAssign();  // null handles
  IntegerAssign(Ref<VariableExpression> target, Ref<IntegerExpression> value);
  ~IntegerAssign() override;

  std::int32_t kind() const override { return 5; }
  void apply(GlobalState* state) const override;
  void release(GlobalState*) const override {}
  bool constrain(GlobalState*) const override { return true; }
  void print(std::ostream& out) const override;

  VariableExpression* target() const { return target_.get(); }
  IntegerExpression* value() const { return value_.get(); }

 private:
  Ref<VariableExpression> target_;
  Ref<IntegerExpression> value_;
  bool shallow_ = false;  // target and value present, the value evaluated recursively
};
