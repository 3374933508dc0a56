// model/model_tables.h: the tables a loaded model is made of (symbols, clocks, integer cells,
// channels) and the registry of its explored states, owned by the model's System.
//
// Code below the session reads the tables of the thread's current model: symbols(), channels(),
// integerVariables() and ClockInfo go through modelTables(). Reading a model text makes a fresh
// set current while it reads and, when the text is accepted, leaves it current and hands it to
// the new System. A session makes its own model's tables current while it works (ModelBinding),
// so several sessions, each with its own model, can take turns in one process, and threads can
// work on different models side by side.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "model/channel.h"
#include "model/clock.h"
#include "model/integer.h"
#include "model/symbol_table.h"

class GlobalState;
class RangeWatch;

// Registered states, oldest first: a whole exploration is freed in one sweep.
struct StateRegistry {
  GlobalState* head = nullptr;
  GlobalState* tail = nullptr;
  std::int32_t count = 0;
};

class ModelTables {
public:
  ModelTables() = default;
  // Frees the states still registered.
  ~ModelTables();
  ModelTables(const ModelTables&) = delete;
  ModelTables& operator=(const ModelTables&) = delete;

  SymbolTable symbols;
  Channels channels;
  IntegerVariables integers;
  ClockTable clocks;
  StateRegistry states;
  // Extrapolation's scratch: one byte per diagonal guard.
  std::vector<std::uint8_t> diagonalScratch;
  // Told of the values and indices the model's expressions take outside what it declares while
  // someone listens (a check run by the command-line verifier); null otherwise.
  RangeWatch* rangeWatch = nullptr;
};

namespace model_tables_detail {
// The thread's current tables, null until the thread first asks for them.
extern thread_local constinit ModelTables* current;
ModelTables& firstTables();
}  // namespace model_tables_detail

// The calling thread's current tables; a thread starts with an empty set of its own. Read on
// every successor, hence inline: one thread-local load.
inline ModelTables& modelTables() {
  ModelTables* tables = model_tables_detail::current;
  return tables ? *tables : model_tables_detail::firstTables();
}
std::shared_ptr<ModelTables> currentModelTables();
// Makes tables the thread's current ones (null: a fresh empty set).
void makeCurrent(std::shared_ptr<ModelTables> tables);

// Makes a model's tables current while it lives (null: leaves the current ones), then puts the
// previous ones back.
class ModelBinding {
public:
  explicit ModelBinding(std::shared_ptr<ModelTables> tables);
  ~ModelBinding();
  ModelBinding(const ModelBinding&) = delete;
  ModelBinding& operator=(const ModelBinding&) = delete;

private:
  std::shared_ptr<ModelTables> previous_;
};
