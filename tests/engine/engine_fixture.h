// tests/engine/engine_fixture.h: models read from text, and states written as readable zones,
// for the engine tests. Every test starts and ends with fresh model tables and an empty
// registry of stored states.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gta/parser.h"
#include "model/channel.h"
#include "model/global_state.h"
#include "model/integer.h"
#include "model/symbol_table.h"
#include "model/system.h"
#include "model/clock.h"
#include "tests/support/zone_builder.h"
#include "zones/zone.h"

namespace engine_test {

inline void resetTables() {
  symbols() = SymbolTable();
  channels() = Channels();
  integerVariables() = IntegerVariables();
  ClockInfo::table() = ClockTable();
}

// A state of the loaded model: locations, integer cells (all at their initial values when
// none are given) and a zone.
inline Ref<GlobalState> stateOf(const System& system, std::vector<int> locations,
                                const std::string& zone, std::vector<int> cells = {}) {
  Ref<GlobalState> state(GlobalState::create(system.processCount()));
  for (int p = 0; p < system.processCount(); ++p) state->setLocation(p, locations[std::size_t(p)]);
  IntegerValuation* valuation = integerVariables().createValuation(true);
  for (std::size_t k = 0; k < cells.size(); ++k) (*valuation)[std::int32_t(k)] = cells[k];
  state->setValuation(valuation);
  state->setZone(zoneOf(zone).release());
  return state;
}

// The zone of a state as its readable constraint list.
inline std::string zoneText(const GlobalState* state) { return printed(*state->zone()); }

class EngineTest : public testing::Test {
protected:
  EngineTest() {
    GlobalState::destroyAllRegistered();
    resetTables();
  }
  ~EngineTest() override {
    GlobalState::destroyAllRegistered();
    resetTables();
  }

  static Ref<System> load(const std::string& text) {
    ParseResult r = parseSystem(text);
    EXPECT_TRUE(r.system) << r.diagnostics;
    return r.system;
  }
};

}  // namespace engine_test
