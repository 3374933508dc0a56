#include "model/model_tables.h"

#include <utility>

#include "model/global_state.h"

namespace {

std::shared_ptr<ModelTables>& current() {
  thread_local std::shared_ptr<ModelTables> tables = std::make_shared<ModelTables>();
  return tables;
}

}  // namespace

ModelTables::~ModelTables() { GlobalState::destroyAllRegistered(states); }

ModelTables& modelTables() { return *current(); }

std::shared_ptr<ModelTables> currentModelTables() { return current(); }

void makeCurrent(std::shared_ptr<ModelTables> tables) {
  current() = tables ? std::move(tables) : std::make_shared<ModelTables>();
}

ModelBinding::ModelBinding(std::shared_ptr<ModelTables> tables) : previous_(current()) {
  if (tables) current() = std::move(tables);
}

ModelBinding::~ModelBinding() { current() = std::move(previous_); }
