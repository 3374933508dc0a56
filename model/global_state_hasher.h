// model/global_state_hasher.h: hash function objects that map a state to a bucket of a table.
#pragma once
#include "base/ref.h"

class GlobalState;

class GlobalStateHasher : public Object {
 public:
  // A bucket in 0 .. size-1; size is at least 1.
  virtual unsigned operator()(const GlobalState* state, unsigned size) const = 0;
};
