#include "tctl/tctlexpr.h"

#include <algorithm>
#include <cstdlib>
#include <ostream>

#include "model/globstat.h"
#include "model/intexpr.h"
#include "model/symtable.h"
#include "server/error.h"
#include "zones/clock.h"
#include "zones/region.h"

namespace {

const char* relationText(int relation) {
  static const char* const texts[] = {">=", "<=", "<", ">", "==", "!="};
  return relation >= 0 && relation < 6 ? texts[relation] : "??";
}

// ">=" and "<", "<=" and ">", "==" and "!=" are each other's complement.
int complementRelation(int relation) {
  static const int complements[] = {2, 3, 0, 1, 5, 4};
  return relation >= 0 && relation < 6 ? complements[relation] : relation;
}

bool readsClocks(const TCTLExpression* formula) {
  ClockSet clocks;
  formula->collectClocks(clocks);
  return !clocks.empty();
}

// A zone that clock constraints can tighten: packed zones are unpacked in place.
Region* workZone(GlobalState* state) {
  Region* zone = state->zone();
  if (zone && zone->isPacked()) {
    state->setZone(zone->unpack());
    zone = state->zone();
  }
  return zone;
}

void raise(std::vector<std::int32_t>& maxConstants, std::int32_t clock, std::int32_t value) {
  if (clock >= 0 && std::size_t(clock) < maxConstants.size())
    maxConstants[std::size_t(clock)] = std::max(maxConstants[std::size_t(clock)], value);
}

}  // namespace

void AbstractExpression::filterBySatisfaction(StateList& states) const {
  std::erase_if(states, [this](const Ref<GlobalState>& s) { return !satisfiedBy(s.get()); });
}

// ---- ClockExpr ----

ClockExpr::ClockExpr(std::int32_t x, std::int32_t y, int relation, std::int32_t c) {
  switch (relation) {
    case 1:  // x - y <= c
    case 2:  // x - y < c
      i_ = x;
      j_ = y;
      c_ = c;
      strict_ = relation == 2;
      break;
    case 0:  // y - x <= -c
    case 3:  // y - x < -c
      i_ = y;
      j_ = x;
      c_ = -c;
      strict_ = relation == 3;
      break;
    default:
      throw Bug("%s", "Unsupported operation for clock expression");
  }
}

Ref<ClockExpr> ClockExpr::bound(std::int32_t i, std::int32_t j, std::int32_t c, bool strict) {
  Ref<ClockExpr> e(new ClockExpr());
  e->i_ = i;
  e->j_ = j;
  e->c_ = c;
  e->strict_ = strict;
  return e;
}

void ClockExpr::print(std::ostream& out) const {
  const char* less = strict_ ? "<" : "<=";
  if (ClockInfo::isReference(j_)) {
    out << ClockInfo::name(i_) << less << c_;
  } else if (ClockInfo::isReference(i_)) {
    out << ClockInfo::name(j_) << (strict_ ? ">" : ">=") << -std::int64_t(c_);
  } else {
    out << ClockInfo::name(i_) << less << ClockInfo::name(j_);
    if (c_ > 0) out << '+' << c_;
    if (c_ < 0) out << '-' << -std::int64_t(c_);
  }
}

Ref<TCTLExpression> ClockExpr::negate() { return bound(j_, i_, -c_, !strict_); }

bool ClockExpr::satisfiedBy(GlobalState* state) const {
  Region* zone = workZone(state);
  if (!zone) return true;
  if (!zone->tighten(i_, j_, c_, strict_)) return false;
  zone->close();
  return !zone->isEmpty();
}

void ClockExpr::collectConstants(std::vector<std::int32_t>& maxConstants,
                                 DiagonalGuards& differenceConstraints) const {
  if (ClockInfo::isReference(i_)) {
    raise(maxConstants, j_, std::abs(c_));
    return;
  }
  if (ClockInfo::isReference(j_)) {
    raise(maxConstants, i_, std::abs(c_));
    return;
  }
  if (c_ >= 0) raise(maxConstants, i_, c_);
  if (c_ <= 0) raise(maxConstants, j_, -c_);
  differenceConstraints.insert(ClockGuard(i_, j_, c_, strict_));
  differenceConstraints.insert(ClockGuard(j_, i_, -c_, !strict_));
}

void ClockExpr::collectClocks(ClockSet& clocks) const {
  clocks.insert(i_);
  clocks.insert(j_);
}

// ---- IntExpr ----

IntExpr::IntExpr(int relation, Ref<IntegerExpression> left, Ref<IntegerExpression> right)
    : left_(std::move(left)), relation_(relation), right_(std::move(right)) {}

IntExpr::~IntExpr() = default;

void IntExpr::print(std::ostream& out) const {
  if (left_) left_->print(out);
  out << ' ' << relationText(relation_) << ' ';
  if (right_) right_->print(out);
}

Ref<TCTLExpression> IntExpr::negate() {
  return Ref<TCTLExpression>(new IntExpr(complementRelation(relation_), left_, right_));
}

bool IntExpr::satisfiedBy(GlobalState* state) const {
  std::int32_t left = left_ ? left_->eval(state) : 0;
  std::int32_t right = right_ ? right_->eval(state) : 0;
  switch (relation_) {
    case 0:
      return left >= right;
    case 1:
      return left <= right;
    case 2:
      return left < right;
    case 3:
      return left > right;
    case 4:
      return left == right;
    case 5:
      return left != right;
    default:
      internalError("%s", "IntExpr::evaluate() -- Invalid operation encountered");
  }
}

// ---- StateExpr ----

StateExpr::StateExpr(std::int32_t processSymbol, std::int32_t locationSymbol, std::int32_t process,
                     std::int32_t location)
    : processSymbol_(processSymbol),
      locationSymbol_(locationSymbol),
      process_(process),
      location_(location) {}

void StateExpr::print(std::ostream& out) const {
  SymbolTable& table = symbols();
  out << table.find(processKind, processSymbol_).name << '.'
      << table.find(stateKind, locationSymbol_).name;
}

Ref<TCTLExpression> StateExpr::negate() { return Ref<TCTLExpression>(new NotExpr(this)); }

bool StateExpr::satisfiedBy(GlobalState* state) const {
  return process_ >= 0 && process_ < state->processCount() &&
         state->location(process_) == location_;
}

// ---- AndExpr ----

AndExpr::AndExpr(Ref<TCTLExpression> left, Ref<TCTLExpression> right)
    : left_(std::move(left)), right_(std::move(right)) {}

AndExpr::~AndExpr() = default;

void AndExpr::print(std::ostream& out) const {
  out << '(';
  left_->print(out);
  out << " and ";
  right_->print(out);
  out << ')';
}

Ref<TCTLExpression> AndExpr::negate() {
  return Ref<TCTLExpression>(new OrExpr(left_->negate(), right_->negate()));
}

Ref<TCTLExpression> AndExpr::normalize() {
  Ref<TCTLExpression> left = left_->normalize();
  Ref<TCTLExpression> right = right_->normalize();
  if (left == left_ && right == right_) return this;
  return Ref<TCTLExpression>(new AndExpr(std::move(left), std::move(right)));
}

bool AndExpr::satisfiedBy(GlobalState* state) const {
  return left_->satisfiedBy(state) && right_->satisfiedBy(state);
}

void AndExpr::filter(StateList& states) const {
  left_->filter(states);
  right_->filter(states);
}

void AndExpr::collectConstants(std::vector<std::int32_t>& maxConstants,
                               DiagonalGuards& differenceConstraints) const {
  left_->collectConstants(maxConstants, differenceConstraints);
  right_->collectConstants(maxConstants, differenceConstraints);
}

void AndExpr::collectClocks(ClockSet& clocks) const {
  left_->collectClocks(clocks);
  right_->collectClocks(clocks);
}

void AndExpr::collectConjuncts(Conjuncts& conjuncts) {
  left_->collectConjuncts(conjuncts);
  right_->collectConjuncts(conjuncts);
}

// ---- OrExpr ----

OrExpr::OrExpr(Ref<TCTLExpression> left, Ref<TCTLExpression> right)
    : left_(std::move(left)),
      right_(std::move(right)),
      leftReadsClocks_(readsClocks(left_.get())) {}

OrExpr::~OrExpr() = default;

void OrExpr::print(std::ostream& out) const {
  out << '(';
  left_->print(out);
  out << " or ";
  right_->print(out);
  out << ')';
}

Ref<TCTLExpression> OrExpr::negate() {
  return Ref<TCTLExpression>(new AndExpr(left_->negate(), right_->negate()));
}

Ref<TCTLExpression> OrExpr::normalize() {
  Ref<TCTLExpression> left = left_->normalize();
  Ref<TCTLExpression> right = right_->normalize();
  if (left == left_ && right == right_) return this;
  return Ref<TCTLExpression>(new OrExpr(std::move(left), std::move(right)));
}

bool OrExpr::satisfiedBy(GlobalState* state) const {
  if (!leftReadsClocks_) return left_->satisfiedBy(state) || right_->satisfiedBy(state);
  Ref<GlobalState> copy(state->copy());
  if (left_->satisfiedBy(copy.get())) {
    state->setZone(copy->detachZone());
    return true;
  }
  return right_->satisfiedBy(state);
}

void OrExpr::filter(StateList& states) const {
  StateList copies;
  copies.reserve(states.size());
  for (const Ref<GlobalState>& s : states) copies.emplace_back(s->copyUnpacked(false));
  right_->filter(copies);
  left_->filter(states);

  // Each right state is compared with the left states only: one that a left state includes
  // (or equals) goes; one that includes left states replaces them.
  std::size_t leftCount = states.size();
  std::vector<bool> dropped(leftCount, false);
  for (Ref<GlobalState>& r : copies) {
    bool covered = false;
    for (std::size_t k = 0; k < leftCount && !covered; ++k)
      if (!dropped[k]) {
        int relation = states[k]->relation(r.get());
        covered = relation == Region::equal || relation == Region::argIncludedIn;
      }
    if (covered) continue;
    for (std::size_t k = 0; k < leftCount; ++k)
      if (!dropped[k] && states[k]->relation(r.get()) == Region::argIncludes) dropped[k] = true;
    states.push_back(std::move(r));
  }
  std::size_t kept = 0;
  for (std::size_t k = 0; k < states.size(); ++k)
    if (k >= leftCount || !dropped[k]) {
      if (kept != k) states[kept] = std::move(states[k]);
      ++kept;
    }
  states.resize(kept);
}

void OrExpr::collectConstants(std::vector<std::int32_t>& maxConstants,
                              DiagonalGuards& differenceConstraints) const {
  left_->collectConstants(maxConstants, differenceConstraints);
  right_->collectConstants(maxConstants, differenceConstraints);
}

void OrExpr::collectClocks(ClockSet& clocks) const {
  left_->collectClocks(clocks);
  right_->collectClocks(clocks);
}

// ---- NotExpr ----

NotExpr::NotExpr(Ref<TCTLExpression> operand) : operand_(std::move(operand)) {
  if (readsClocks(operand_.get())) complement_ = operand_->negate()->normalize();
}

NotExpr::~NotExpr() = default;

void NotExpr::print(std::ostream& out) const {
  out << "not ";
  operand_->print(out);
}

Ref<TCTLExpression> NotExpr::normalize() {
  if (operand_->isAtomic()) {
    // Location tests, true and deadlock negate into "not" of themselves: this expression.
    Ref<TCTLExpression> negated = operand_->negate();
    return negated->typeCode() == notType ? Ref<TCTLExpression>(this) : negated;
  }
  return operand_->negate()->normalize();
}

bool NotExpr::satisfiedBy(GlobalState* state) const {
  // Without clocks the operand leaves the state as it is; with clocks, asking the operand would
  // narrow the zone to where it holds, the very part that "not" excludes.
  if (complement_) return complement_->satisfiedBy(state);
  return !operand_->satisfiedBy(state);
}

void NotExpr::collectConstants(std::vector<std::int32_t>& maxConstants,
                               DiagonalGuards& differenceConstraints) const {
  operand_->collectConstants(maxConstants, differenceConstraints);
}

void NotExpr::collectClocks(ClockSet& clocks) const { operand_->collectClocks(clocks); }

// ---- TrueExpr, DeadlockExpr ----

void TrueExpr::print(std::ostream& out) const { out << "true"; }

Ref<TCTLExpression> TrueExpr::negate() { return Ref<TCTLExpression>(new NotExpr(this)); }

void DeadlockExpr::print(std::ostream& out) const { out << "deadlock"; }

Ref<TCTLExpression> DeadlockExpr::negate() { return Ref<TCTLExpression>(new NotExpr(this)); }

// ---- normal form ----

namespace {

void addClauses(TCTLExpression* formula, std::vector<Conjuncts>& clauses) {
  if (formula->typeCode() == TCTLExpression::orType) {
    auto* o = static_cast<OrExpr*>(formula);
    addClauses(o->left(), clauses);
    addClauses(o->right(), clauses);
    return;
  }
  if (formula->typeCode() == TCTLExpression::andType) {
    auto* a = static_cast<AndExpr*>(formula);
    std::vector<Conjuncts> left, right;
    addClauses(a->left(), left);
    addClauses(a->right(), right);
    for (const Conjuncts& l : left)
      for (const Conjuncts& r : right) {
        Conjuncts both = l;
        both.insert(both.end(), r.begin(), r.end());
        clauses.push_back(std::move(both));
      }
    return;
  }
  clauses.push_back(Conjuncts{Ref<TCTLExpression>(formula)});
}

}  // namespace

std::vector<Conjuncts> disjunctiveNormalForm(TCTLExpression* formula) {
  std::vector<Conjuncts> clauses;
  Ref<TCTLExpression> normal = formula->normalize();
  addClauses(normal.get(), clauses);
  return clauses;
}
