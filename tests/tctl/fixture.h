// tests/tctl/fixture.h: models read from text and small helpers shared by the property tests.
#pragma once
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "gta/parser.h"
#include "base/ref.h"
#include "model/system.h"
#include "tctl/parser.h"
#include "tctl/tctl_expression.h"

inline Ref<System> loadModel(const char* text) {
  ParseResult result = parseSystem(std::string_view(text));
  EXPECT_TRUE(result.system) << result.diagnostics;
  return result.system;
}

inline std::string printed(const TCTLExpression* e) {
  std::ostringstream out;
  if (e) e->print(out);
  return out.str();
}

// Clocks x and y, globals i and a[3], constant N, channel c. The system line lists Q before P
// and leaves R out.
inline const char* const propertyModel = R"(
const N 3;
clock x, y;
int[0,5] i;
int a[3];
chan c;
process P {
  clock z;
  int j;
  state s, t;
  init s;
  trans s -> t { guard x > 3; };
}
process Q {
  state s, u;
  init s;
}
process R {
  state r;
  init r;
}
system Q, P;
)";
