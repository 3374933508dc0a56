#include "tctl/tctl_expression.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <ostream>

#include "model/global_state.h"
#include "model/integer_expression.h"
#include "model/symbol_table.h"
#include "base/error.h"
#include "model/clock.h"
#include "zones/zone.h"

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

// A zone that clock constraints can tighten: packed zones are unpacked in place.
UnpackedZone* workZone(GlobalState* state) {
  Zone* zone = state->zone();
  if (!zone) return nullptr;
  if (zone->isPacked()) {
    state->setZone(zone->unpack());
    zone = state->zone();
  }
  return static_cast<UnpackedZone*>(zone);
}

void raise(std::vector<std::int32_t>& maxConstants, std::int32_t clock, std::int32_t value) {
  if (clock >= 0 && std::size_t(clock) < maxConstants.size())
    maxConstants[std::size_t(clock)] = std::max(maxConstants[std::size_t(clock)], value);
}

}  // namespace

// ---- ClockExpr ----

ClockExpr::ClockExpr(std::int32_t x, std::int32_t y, int relation, std::int32_t c) {
  shape_ = timed;
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
  UnpackedZone* zone = workZone(state);
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

// ---- walking trees without recursion ----

namespace {

using Node = const TCTLExpression*;

Node leftOf(Node e) {
  return e->typeCode() == TCTLExpression::andType ? static_cast<const AndExpr*>(e)->left()
                                                  : static_cast<const OrExpr*>(e)->left();
}
Node rightOf(Node e) {
  return e->typeCode() == TCTLExpression::andType ? static_cast<const AndExpr*>(e)->right()
                                                  : static_cast<const OrExpr*>(e)->right();
}
bool isBinary(Node e) {
  return e->typeCode() == TCTLExpression::andType || e->typeCode() == TCTLExpression::orType;
}
Node operandOf(Node e) { return static_cast<const NotExpr*>(e)->operand(); }

// Calls visit on every leaf, left to right.
template <class Visit>
void forEachLeaf(Node root, Visit&& visit) {
  std::vector<Node> stack{root};
  while (!stack.empty()) {
    Node e = stack.back();
    stack.pop_back();
    if (isBinary(e)) {
      stack.push_back(rightOf(e));
      stack.push_back(leftOf(e));
    } else if (e->typeCode() == TCTLExpression::notType) {
      stack.push_back(operandOf(e));
    } else {
      visit(e);
    }
  }
}

// A stack that keeps its first N entries in place and only spills beyond them to the heap:
// the walks over small formulas, made once per state, allocate nothing.
template <class T, std::size_t N>
class SmallStack {
 public:
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t k) { return k < N ? inline_[k] : spill_[k - N]; }
  T& back() { return (*this)[size_ - 1]; }
  void push_back(const T& value) {
    if (size_ < N)
      inline_[size_] = value;
    else if (size_ - N < spill_.size())
      spill_[size_ - N] = value;
    else
      spill_.push_back(value);
    ++size_;
  }
  void pop_back() { --size_; }
  // Shrinks to n entries.
  void resize(std::size_t n) { size_ = n; }

 private:
  std::array<T, N> inline_;
  std::vector<T> spill_;
  std::size_t size_ = 0;
};

// The truth of a formula without clocks and deadlock predicates in the state (negated: of its
// negation), "and" and "or" short-circuited.
bool evaluateUntimed(Node root, bool negated, GlobalState* state) {
  struct Frame {
    Node node;
    bool negated;
    bool leftDone;
  };
  SmallStack<Frame, 32> stack;
  stack.push_back({root, negated, false});
  bool value = false;
  while (!stack.empty()) {
    Frame f = stack.back();
    stack.pop_back();
    Node e = f.node;
    if (e->typeCode() == TCTLExpression::notType) {
      stack.push_back({operandOf(e), !f.negated, false});
    } else if (!isBinary(e)) {
      value = e->satisfiedBy(state) != f.negated;
    } else if (!f.leftDone) {
      stack.push_back({e, f.negated, true});
      stack.push_back({leftOf(e), f.negated, false});
    } else if (((e->typeCode() == TCTLExpression::andType) != f.negated) == value) {
      // The left side left the answer open ("and" after true, "or" after false).
      stack.push_back({rightOf(e), f.negated, false});
    }
  }
  return value;
}

// Walks the clauses of the negation normal form of (root, negated) in order, depth first,
// without building either form. A goal list holds the conjuncts still to take; an "or" leaves
// a choice point to come back to when the clause under way fails. The visitor decides atoms
// (false abandons the clause), learns of a complete clause (true ends the walk), and saves and
// restores its own state at the choice points. Formulas without clocks are decided at once by
// a visitor that can (collapsesUntimed), since every clause of them narrows nothing.
//
// A visitor that only asks whether some clause holds may also let go of a choice: when the left
// side of an "or" has been taken without narrowing anything (unchangedSince), the other ways
// through it lead to the same remaining goals from a zone no larger, so they cannot hold where
// this one fails. This keeps conjunctions of disjunctions that the zone already decides linear.
struct Goal {
  Node node;  // null: the left side of choice `choice` has been taken
  bool negated;
  std::int32_t next;
  std::int32_t choice;
};
struct Choice {
  Node node;
  bool negated;
  std::int32_t goals;
  std::size_t cells;
  std::size_t mark;
};
template <class Visitor>
bool searchClauses(Node root, bool negated, Visitor& visitor) {
  SmallStack<Goal, 32> cells;
  SmallStack<Choice, 8> choices;
  std::int32_t head = -1;
  auto push = [&](Node e, bool neg, std::int32_t next, std::int32_t choice = -1) {
    cells.push_back({e, neg, next, choice});
    return std::int32_t(cells.size() - 1);
  };
  head = push(root, negated, -1);
  for (;;) {
    bool holds = true;
    if (head < 0) {
      if (visitor.clause()) return true;
      holds = false;
    } else {
      Goal g = cells[std::size_t(head)];
      head = g.next;
      Node e = g.node;
      if (!e) {
        // Only this choice's own left side and the choices inside it lie above it.
        if (visitor.unchangedSince(choices[std::size_t(g.choice)].mark))
          choices.resize(std::size_t(g.choice));
        continue;
      }
      int type = e->typeCode();
      if (type == TCTLExpression::notType) {
        head = push(operandOf(e), !g.negated, head);
      } else if (isBinary(e)) {
        if (Visitor::collapsesUntimed && !e->isTimed()) {
          holds = visitor.decide(e, g.negated);
        } else if ((type == TCTLExpression::andType) != g.negated) {
          head = push(rightOf(e), g.negated, head);
          head = push(leftOf(e), g.negated, head);
        } else {
          choices.push_back({rightOf(e), g.negated, head, cells.size(), visitor.mark()});
          if (Visitor::letsGoOfChoices)
            head = push(nullptr, false, head, std::int32_t(choices.size() - 1));
          head = push(leftOf(e), g.negated, head);
        }
      } else {
        holds = visitor.atom(e, g.negated);
      }
    }
    if (holds) continue;
    if (choices.empty()) return false;
    Choice c = choices.back();
    choices.pop_back();
    cells.resize(c.cells);
    visitor.undo(c.mark);
    head = push(c.node, c.negated, c.goals);
  }
}

// The clause search on a state: clock constraints narrow the zone it is given (a working copy,
// or the state's own zone when there is a single clause), deadlock literals are decided when
// their clause is complete (on its whole zone), location and integer tests at once. The zone is
// saved at a choice point only when it changed since the last save, so a long "or" chain
// shares one copy.
class ZoneSearch {
 public:
  static constexpr bool collapsesUntimed = true;
  static constexpr bool letsGoOfChoices = true;

  ZoneSearch(GlobalState* state, UnpackedZone* zone, StateList* parts)
      : state_(state), zone_(zone), parts_(parts) {}
  ~ZoneSearch() {
    for (Saved& s : saved_) delete s.zone;
  }

  bool atom(Node e, bool negated) {
    switch (e->typeCode()) {
      case TCTLExpression::clockType: {
        if (!zone_) return true;
        const auto* b = static_cast<const ClockExpr*>(e);
        int i = negated ? b->second() : b->first(), j = negated ? b->first() : b->second();
        // "not (x_i - x_j < c)" is x_j - x_i <= -c, and the other way round.
        std::int32_t raw = negated ? makeBound(-b->constant(), !b->isStrict()) : b->rawBound();
        if (zone_->at(i, j) <= raw) return true;  // the closed zone implies it already
        version_ = ++versions_;
        if (!zone_->tightenRaw(i, j, raw)) return false;
        zone_->close();
        return !zone_->isEmpty();
      }
      case TCTLExpression::deadlockType:
        (negated ? notDeadlocked_ : deadlocked_) = static_cast<const DeadlockExpr*>(e);
        return true;
      default:
        return e->satisfiedBy(state_) != negated;
    }
  }
  bool decide(Node e, bool negated) { return evaluateUntimed(e, negated, state_); }

  bool clause() {
    if (deadlocked_ || notDeadlocked_) {
      if (!zone_ || (deadlocked_ && notDeadlocked_)) return false;
      const DeadlockExpr* d = deadlocked_ ? deadlocked_ : notDeadlocked_;
      if (!d->holdsSomewhereIn(state_, *zone_, !deadlocked_)) return false;
    }
    if (!parts_) return true;
    Ref<GlobalState> part(state_->copyDiscrete());
    part->setZone(zone_ ? static_cast<Zone*>(zone_->copy()) : nullptr);
    parts_->push_back(std::move(part));
    return false;
  }

  std::size_t mark() {
    if (zone_ && (saved_.empty() || saved_.back().version != version_))
      saved_.push_back({zone_->copy(), version_});
    marks_.push_back({saved_.size(), version_, deadlocked_, notDeadlocked_});
    return marks_.size() - 1;
  }
  bool unchangedSince(std::size_t m) const {
    const Mark& k = marks_[m];
    return k.version == version_ && k.deadlocked == deadlocked_ &&
           k.notDeadlocked == notDeadlocked_;
  }
  void undo(std::size_t m) {
    Mark k = marks_[m];
    marks_.resize(m);
    deadlocked_ = k.deadlocked;
    notDeadlocked_ = k.notDeadlocked;
    if (!zone_) return;
    while (saved_.size() > k.saved) {
      delete saved_.back().zone;
      saved_.pop_back();
    }
    const Saved& s = saved_.back();
    if (s.version != version_) {
      zone_->assign(*s.zone);
      version_ = s.version;
    }
  }

 private:
  struct Saved {
    UnpackedZone* zone;
    std::uint64_t version;
  };
  struct Mark {
    std::size_t saved;
    std::uint64_t version;
    const DeadlockExpr* deadlocked;
    const DeadlockExpr* notDeadlocked;
  };

  GlobalState* state_;
  UnpackedZone* zone_;  // null for a state without a zone: clock constraints then hold
  StateList* parts_;      // every clause's part is collected here when set
  const DeadlockExpr* deadlocked_ = nullptr;
  const DeadlockExpr* notDeadlocked_ = nullptr;
  std::uint64_t version_ = 0;   // of the working zone: a new number for every change
  std::uint64_t versions_ = 0;  // numbers handed out
  std::vector<Saved> saved_;
  std::vector<Mark> marks_;
};

// A closed, unpacked working copy of the state's zone, or null for a state without one.
UnpackedZone* workingCopy(const GlobalState* state) {
  const Zone* zone = state->zone();
  if (!zone) return nullptr;
  UnpackedZone* copy = zone->unpack();
  if (copy->isDirty()) copy->close();
  return copy;
}

// Collects the clauses as lists of conjuncts; a negated atom becomes its negation.
class ClauseCollector {
 public:
  static constexpr bool collapsesUntimed = false;
  static constexpr bool letsGoOfChoices = false;

  bool atom(Node e, bool negated) {
    atoms_.push_back(negated ? const_cast<TCTLExpression*>(e)->negate()
                             : Ref<TCTLExpression>(const_cast<TCTLExpression*>(e)));
    return true;
  }
  bool decide(Node, bool) { return true; }
  bool unchangedSince(std::size_t) const { return false; }
  bool clause() {
    clauses_.push_back(atoms_);
    return false;
  }
  std::size_t mark() { return atoms_.size(); }
  void undo(std::size_t m) { atoms_.resize(m); }

  std::vector<Conjuncts> take() { return std::move(clauses_); }

 private:
  Conjuncts atoms_;
  std::vector<Conjuncts> clauses_;
};

// The tree rebuilt with the negation pushed inwards: through "and" and "or" always, and through
// "not" too for the normal form (throughNot); otherwise a negated "not" gives its operand.
// Unchanged subtrees are shared.
Ref<TCTLExpression> rewrite(TCTLExpression* root, bool negated, bool throughNot) {
  struct Frame {
    TCTLExpression* node;
    bool negated;
    int stage;
  };
  std::vector<Frame> stack{{root, negated, 0}};
  std::vector<Ref<TCTLExpression>> results;
  while (!stack.empty()) {
    Frame& f = stack.back();
    TCTLExpression* e = f.node;
    bool neg = f.negated;
    int type = e->typeCode();
    if (isBinary(e)) {
      if (f.stage < 2) {
        TCTLExpression* next = f.stage == 0 ? const_cast<TCTLExpression*>(leftOf(e))
                                            : const_cast<TCTLExpression*>(rightOf(e));
        ++f.stage;
        stack.push_back({next, neg, 0});
        continue;
      }
      stack.pop_back();
      Ref<TCTLExpression> right = std::move(results.back());
      results.pop_back();
      Ref<TCTLExpression> left = std::move(results.back());
      results.pop_back();
      if (!neg && left.get() == leftOf(e) && right.get() == rightOf(e)) {
        results.emplace_back(e);
      } else if ((type == TCTLExpression::andType) != neg) {
        results.emplace_back(new AndExpr(std::move(left), std::move(right)));
      } else {
        results.emplace_back(new OrExpr(std::move(left), std::move(right)));
      }
      continue;
    }
    stack.pop_back();
    if (type == TCTLExpression::notType) {
      auto* operand = const_cast<TCTLExpression*>(operandOf(e));
      if (!throughNot) {
        results.emplace_back(neg ? operand : e);
      } else if (!operand->isAtomic()) {
        stack.push_back({operand, !neg, 0});
      } else if (neg) {
        results.emplace_back(operand);
      } else {
        // Location tests, true and deadlock negate into "not" of themselves: this expression.
        Ref<TCTLExpression> negation = operand->negate();
        if (negation->typeCode() == TCTLExpression::notType)
          results.emplace_back(e);
        else
          results.push_back(std::move(negation));
      }
      continue;
    }
    if (neg)
      results.push_back(e->negate());
    else
      results.emplace_back(e);
  }
  return std::move(results.back());
}

thread_local std::vector<TCTLExpression*> releasing;
thread_local bool draining = false;

}  // namespace

// ---- AbstractExpression, OperatorExpression ----

void AbstractExpression::filter(StateList& states) const {
  StateList kept;
  StateList parts;
  for (const Ref<GlobalState>& s : states) {
    parts.clear();
    if (isTimed()) {
      std::unique_ptr<UnpackedZone> zone(workingCopy(s.get()));
      ZoneSearch search(s.get(), zone.get(), &parts);
      searchClauses(this, false, search);
    } else if (evaluateUntimed(this, false, s.get())) {
      parts.push_back(s);
    }
    // Of parts that include one another only the including one stays; of equal ones the first.
    for (std::size_t k = 0; k < parts.size(); ++k) {
      bool covered = false;
      for (std::size_t m = 0; m < parts.size() && !covered; ++m) {
        if (m == k || !parts[m]) continue;
        int r = parts[m]->relation(parts[k].get());
        covered = r == Zone::argIncludedIn || (r == Zone::equal && m < k);
      }
      if (covered) parts[k] = nullptr;
    }
    for (Ref<GlobalState>& part : parts)
      if (part) kept.push_back(std::move(part));
  }
  states = std::move(kept);
}

void OperatorExpression::print(std::ostream& out) const {
  struct Frame {
    Node node;
    int stage;
  };
  std::vector<Frame> stack{{this, 0}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    Node e = f.node;
    if (isBinary(e)) {
      const char* joint = e->typeCode() == andType ? " and " : " or ";
      int stage = f.stage++;
      if (stage == 0) {
        out << '(';
        stack.push_back({leftOf(e), 0});
      } else if (stage == 1) {
        out << joint;
        stack.push_back({rightOf(e), 0});
      } else {
        out << ')';
        stack.pop_back();
      }
    } else if (e->typeCode() == notType) {
      out << "not ";
      stack.pop_back();
      stack.push_back({operandOf(e), 0});
    } else {
      stack.pop_back();
      e->print(out);
    }
  }
}

Ref<TCTLExpression> OperatorExpression::normalize() { return rewrite(this, false, true); }

bool OperatorExpression::satisfiedBy(GlobalState* state) const {
  if (!isTimed()) return evaluateUntimed(this, false, state);
  if (!hasChoice(false) && !hasDeadlock() && state->zone()) {
    // A single clause: it narrows the state's own zone, with nothing to come back to.
    Zone* zone = state->zone();
    if (zone->isPacked()) state->setZone(zone->unpack());
    auto* own = static_cast<UnpackedZone*>(state->zone());
    if (own->isDirty()) own->close();
    ZoneSearch search(state, own, nullptr);
    return searchClauses(this, false, search);
  }
  std::unique_ptr<UnpackedZone> zone(workingCopy(state));
  ZoneSearch search(state, zone.get(), nullptr);
  if (!searchClauses(this, false, search)) return false;
  if (zone) state->setZone(zone.release());
  return true;
}

void OperatorExpression::collectConstants(std::vector<std::int32_t>& maxConstants,
                                          DiagonalGuards& differenceConstraints) const {
  forEachLeaf(this, [&](Node e) { e->collectConstants(maxConstants, differenceConstraints); });
}

void OperatorExpression::collectClocks(ClockSet& clocks) const {
  forEachLeaf(this, [&](Node e) { e->collectClocks(clocks); });
}

void OperatorExpression::releaseLater(Ref<TCTLExpression>& operand) {
  if (operand && !operand->isAtomic() && operand->refCount() == 1)
    releasing.push_back(operand.detach());
  if (draining) return;
  draining = true;
  while (!releasing.empty()) {
    TCTLExpression* e = releasing.back();
    releasing.pop_back();
    e->dropRef();  // its destructor hands its own operands over, and returns at once
  }
  draining = false;
}

// ---- AndExpr ----

AndExpr::AndExpr(Ref<TCTLExpression> left, Ref<TCTLExpression> right)
    : left_(std::move(left)), right_(std::move(right)) {
  bool t = left_->isTimed() || right_->isTimed();
  shape_ = std::uint8_t((t ? timed | choiceNegated : 0) |
                        (left_->hasChoice(false) || right_->hasChoice(false) ? choice : 0) |
                        (left_->hasDeadlock() || right_->hasDeadlock() ? deadlock : 0));
}

AndExpr::~AndExpr() {
  releaseLater(left_);
  releaseLater(right_);
}

Ref<TCTLExpression> AndExpr::negate() { return rewrite(this, true, false); }

void AndExpr::collectConjuncts(Conjuncts& conjuncts) {
  std::vector<TCTLExpression*> stack{this};
  while (!stack.empty()) {
    TCTLExpression* e = stack.back();
    stack.pop_back();
    if (e->typeCode() == andType) {
      auto* a = static_cast<AndExpr*>(e);
      stack.push_back(a->right_.get());
      stack.push_back(a->left_.get());
    } else {
      e->collectConjuncts(conjuncts);
    }
  }
}

// ---- OrExpr ----

OrExpr::OrExpr(Ref<TCTLExpression> left, Ref<TCTLExpression> right)
    : left_(std::move(left)), right_(std::move(right)) {
  bool t = left_->isTimed() || right_->isTimed();
  shape_ = std::uint8_t((t ? timed | choice : 0) |
                        (left_->hasChoice(true) || right_->hasChoice(true) ? choiceNegated : 0) |
                        (left_->hasDeadlock() || right_->hasDeadlock() ? deadlock : 0));
}

OrExpr::~OrExpr() {
  releaseLater(left_);
  releaseLater(right_);
}

Ref<TCTLExpression> OrExpr::negate() { return rewrite(this, true, false); }

// ---- NotExpr ----

NotExpr::NotExpr(Ref<TCTLExpression> operand) : operand_(std::move(operand)) {
  shape_ = std::uint8_t((operand_->isTimed() ? timed : 0) |
                        (operand_->hasChoice(true) ? choice : 0) |
                        (operand_->hasChoice(false) ? choiceNegated : 0) |
                        (operand_->hasDeadlock() ? deadlock : 0));
}

NotExpr::~NotExpr() { releaseLater(operand_); }

// ---- TrueExpr, DeadlockExpr ----

void TrueExpr::print(std::ostream& out) const { out << "true"; }

Ref<TCTLExpression> TrueExpr::negate() { return Ref<TCTLExpression>(new NotExpr(this)); }

void DeadlockExpr::print(std::ostream& out) const { out << "deadlock"; }

Ref<TCTLExpression> DeadlockExpr::negate() { return Ref<TCTLExpression>(new NotExpr(this)); }

bool DeadlockExpr::holdsSomewhereIn(const GlobalState*, const UnpackedZone& zone,
                                    bool negated) const {
  return negated && !zone.isEmpty();
}

// ---- normal form ----

std::vector<Conjuncts> disjunctiveNormalForm(TCTLExpression* formula) {
  ClauseCollector collector;
  searchClauses(formula, false, collector);
  return collector.take();
}

const DeadlockExpr* deadlockLiteral(const TCTLExpression* conjunct, bool* negated) {
  *negated = false;
  if (conjunct->typeCode() == TCTLExpression::notType) {
    *negated = true;
    conjunct = operandOf(conjunct);
  }
  if (conjunct->typeCode() != TCTLExpression::deadlockType) return nullptr;
  return static_cast<const DeadlockExpr*>(conjunct);
}
