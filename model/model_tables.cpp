#include "model/model_tables.h"

#include <utility>

#include "model/global_state.h"

namespace {

// Owns the thread's current tables; model_tables_detail::current is its raw pointer, cleared
// before the tables go at the end of the thread.
struct Owner {
  std::shared_ptr<ModelTables> tables;
  ~Owner() {
    model_tables_detail::current = nullptr;
    tables.reset();
  }
};

std::shared_ptr<ModelTables>& owner() {
  thread_local Owner own;
  return own.tables;
}

void setOwner(std::shared_ptr<ModelTables> tables) {
  owner() = std::move(tables);
  model_tables_detail::current = owner().get();
}

}  // namespace

thread_local constinit ModelTables* model_tables_detail::current = nullptr;

ModelTables& model_tables_detail::firstTables() {
  if (!current) setOwner(std::make_shared<ModelTables>());
  return *current;
}

ModelTables::~ModelTables() { GlobalState::destroyAllRegistered(states); }

std::shared_ptr<ModelTables> currentModelTables() {
  modelTables();
  return owner();
}

void makeCurrent(std::shared_ptr<ModelTables> tables) {
  setOwner(tables ? std::move(tables) : std::make_shared<ModelTables>());
}

ModelBinding::ModelBinding(std::shared_ptr<ModelTables> tables) : previous_(owner()) {
  if (tables) setOwner(std::move(tables));
}

ModelBinding::~ModelBinding() { setOwner(std::move(previous_)); }
