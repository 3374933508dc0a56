#include "model/integer_expression.h"

#include <algorithm>
#include <ostream>
#include <vector>

#include "model/global_state.h"
#include "model/model_tables.h"

namespace {
// Two's complement arithmetic without the undefined behaviour of signed overflow.
std::int32_t wrap(std::uint32_t value) { return std::int32_t(value); }

}  // namespace

// ---- walks over whole trees

void IntegerExpression::printLeaf(std::ostream& out) const { out << "???"; }

namespace {
// One step of the printer: a node to print, or a text to write.
struct PrintItem {
  const IntegerExpression* node;
  const char* text;
  bool isText;
};
}  // namespace

void IntegerExpression::print(std::ostream& out) const {
  std::vector<PrintItem> todo{{this, nullptr, false}};
  // Pushes the pieces of a node in reverse, so that they come off the stack in order.
  auto node = [&](const IntegerExpression* e) { todo.push_back({e, nullptr, false}); };
  auto text = [&](const char* t) { todo.push_back({nullptr, t, true}); };
  while (!todo.empty()) {
    PrintItem item = todo.back();
    todo.pop_back();
    if (item.isText) {
      out << item.text;
      continue;
    }
    const IntegerExpression* e = item.node;
    if (!e) {
      out << "???";
      continue;
    }
    switch (e->shape_) {
      case Shape::leaf:
        e->printLeaf(out);
        break;
      case Shape::variable: {
        auto* v = static_cast<const VariableExpression*>(e);
        const IntegerVariable* variable = integerVariables().find(v->variable());
        out << (variable ? variable->name.c_str() : "???");
        if (v->index()) {
          text("]");
          node(v->index());
          text("[");
        }
        break;
      }
      case Shape::conditional: {
        auto* c = static_cast<const IfExpression*>(e);
        text(")");
        node(c->elseValue());
        text(":");
        node(c->thenValue());
        text("?");
        if (const IntegerGuard* g = c->condition()) {
          node(g->right());
          const char* op = IntegerGuard::operatorText(g->op());
          text(op ? op : " ??? ");
          node(g->left());
        } else {
          text("???");
        }
        out << '(';
        break;
      }
      default: {
        auto* b = static_cast<const BinaryExpression*>(e);
        const char* middle = " , ";
        switch (e->shape_) {
          case Shape::product:
            middle = " * ";
            break;
          case Shape::sum:
            middle = " + ";
            break;
          case Shape::difference:
            middle = " - ";
            break;
          case Shape::quotient:
            middle = " / ";
            break;
          default:
            break;
        }
        text(")");
        node(b->right());
        text(middle);
        node(b->left());
        out << (e->shape_ == Shape::minimum ? "min(" : e->shape_ == Shape::maximum ? "max(" : "(");
        break;
      }
    }
  }
}

std::int32_t IntegerExpression::evaluateDeep(const GlobalState* state) const {
  // A frame is an inner node waiting for its operands' values on the value stack; stage counts
  // the operands asked for so far.
  struct Frame {
    const IntegerExpression* node;
    int stage;
  };
  std::vector<Frame> frames;
  std::vector<std::int32_t> values;
  // Shallow operands are evaluated at once; deep ones get a frame.
  auto operand = [&](const IntegerExpression* e) {
    if (!e)
      values.push_back(0);
    else if (e->height_ <= shallowHeight || e->shape_ == Shape::leaf)
      values.push_back(e->evaluate(state));
    else
      frames.push_back({e, 0});
  };
  auto pop = [&] {
    std::int32_t v = values.back();
    values.pop_back();
    return v;
  };
  operand(this);
  while (!frames.empty()) {
    const IntegerExpression* e = frames.back().node;
    int stage = frames.back().stage++;
    switch (e->shape_) {
      case Shape::variable: {
        auto* v = static_cast<const VariableExpression*>(e);
        if (stage == 0) {
          operand(v->index());
        } else {
          frames.pop_back();
          values.push_back(v->valueAt(state, pop()));
        }
        break;
      }
      case Shape::conditional: {
        auto* c = static_cast<const IfExpression*>(e);
        const IntegerGuard* g = c->condition();
        if (stage == 0) {
          operand(g ? g->left() : nullptr);
        } else if (stage == 1) {
          operand(g ? g->right() : nullptr);
        } else if (stage == 2) {
          std::int32_t b = pop(), a = pop();
          operand(g && IntegerGuard::compare(a, g->op(), b) ? c->thenValue() : c->elseValue());
        } else {
          frames.pop_back();
        }
        break;
      }
      default: {
        auto* b = static_cast<const BinaryExpression*>(e);
        if (stage == 0) {
          operand(b->left());
        } else if (stage == 1) {
          operand(b->right());
        } else {
          frames.pop_back();
          std::int32_t right = pop(), left = pop();
          values.push_back(b->combine(left, right));
        }
        break;
      }
    }
  }
  return values.back();
}

void IntegerExpression::visit(const std::function<void(const IntegerExpression&)>& visit) const {
  std::vector<const IntegerExpression*> todo{this};
  while (!todo.empty()) {
    const IntegerExpression* e = todo.back();
    todo.pop_back();
    if (!e) continue;
    visit(*e);
    switch (e->shape_) {
      case Shape::leaf:
        break;
      case Shape::variable:
        todo.push_back(static_cast<const VariableExpression*>(e)->index());
        break;
      case Shape::conditional: {
        auto* c = static_cast<const IfExpression*>(e);
        todo.push_back(c->elseValue());
        todo.push_back(c->thenValue());
        if (const IntegerGuard* g = c->condition()) {
          todo.push_back(g->right());
          todo.push_back(g->left());
        }
        break;
      }
      default:
        todo.push_back(static_cast<const BinaryExpression*>(e)->right());
        todo.push_back(static_cast<const BinaryExpression*>(e)->left());
        break;
    }
  }
}

void IntegerExpression::release() {
  // While a tree goes, the nodes whose last handle its destructors drop wait here instead of
  // being destroyed inside those destructors.
  static thread_local std::vector<IntegerExpression*>* pending = nullptr;
  if (pending) {
    pending->push_back(this);
    return;
  }
  if (height_ <= shallowHeight) {
    delete this;
    return;
  }
  std::vector<IntegerExpression*> nodes{this};
  pending = &nodes;
  while (!nodes.empty()) {
    IntegerExpression* e = nodes.back();
    nodes.pop_back();
    delete e;
  }
  pending = nullptr;
}

// ---- the nodes

void ConstantExpression::printLeaf(std::ostream& out) const { out << value_; }

VariableExpression::VariableExpression(std::int32_t variable, std::int32_t symbolIndex,
                                       Ref<IntegerExpression> index)
    : IntegerExpression(Shape::variable, 1 + heightOf(index.get())),
      variable_(variable),
      symbolIndex_(symbolIndex),
      index_(std::move(index)) {
  if (const IntegerVariable* v = integerVariables().find(variable)) {
    lo_ = v->lo;
    hi_ = v->hi;
    offset_ = v->offset;
    size_ = v->size;
    default_ = defaultIntegerValue(lo_, hi_);
  }
}

std::int64_t VariableExpression::cell(const GlobalState* state, std::int32_t i) const {
  if (i < 0 || i >= size_) {
    if (state && size_ > 0)
      if (RangeWatch* watch = modelTables().rangeWatch) watch->outOfBounds(*this, i);
    return -1;
  }
  if (!state) return -1;
  const IntegerValuation* valuation = state->valuation();
  std::int64_t cell = std::int64_t(offset_) + i;
  if (!valuation || cell >= valuation->size()) return -1;
  return cell;
}

std::int32_t VariableExpression::valueAt(const GlobalState* state, std::int32_t index) const {
  std::int64_t c = cell(state, index);
  return c < 0 ? default_ : (*state->valuation())[std::int32_t(c)];
}

std::int32_t VariableExpression::evaluate(const GlobalState* state) const {
  return valueAt(state, index_ ? index_->evaluate(state) : 0);
}

void VariableExpression::store(GlobalState* state, std::int32_t value) const {
  std::int64_t c = cell(state, index_ ? index_->eval(state) : 0);
  if (c < 0) return;
  // Cyclic wrap into [lo, hi], done by remainder so that far-off values cost nothing.
  std::int64_t range = std::int64_t(hi_) - lo_ + 1;
  if (range > 0 && (value < lo_ || value > hi_)) {
    if (RangeWatch* watch = modelTables().rangeWatch) watch->outOfRange(*this, value);
    std::int64_t shift = (std::int64_t(value) - lo_) % range;
    if (shift < 0) shift += range;
    value = std::int32_t(lo_ + shift);
  }
  (*state->valuation())[std::int32_t(c)] = value;
}

std::int32_t BinaryExpression::combine(std::int32_t a, std::int32_t b) const {
  switch (shape()) {
    case Shape::minimum:
      return b < a ? b : a;
    case Shape::maximum:
      return b > a ? b : a;
    case Shape::product:
      return wrap(std::uint32_t(a) * std::uint32_t(b));
    case Shape::sum:
      return wrap(std::uint32_t(a) + std::uint32_t(b));
    case Shape::difference:
      return wrap(std::uint32_t(a) - std::uint32_t(b));
    case Shape::quotient:
      return DivideExpression::floorDivide(a, b);
    default:
      return 0;
  }
}

std::int32_t MinExpression::evaluate(const GlobalState* state) const {
  std::int32_t b = rightValue(state);
  std::int32_t a = leftValue(state);
  return b < a ? b : a;
}

std::int32_t MaxExpression::evaluate(const GlobalState* state) const {
  std::int32_t b = rightValue(state);
  std::int32_t a = leftValue(state);
  return b > a ? b : a;
}

std::int32_t ProductExpression::evaluate(const GlobalState* state) const {
  return wrap(std::uint32_t(leftValue(state)) * std::uint32_t(rightValue(state)));
}

std::int32_t SumExpression::evaluate(const GlobalState* state) const {
  return wrap(std::uint32_t(leftValue(state)) + std::uint32_t(rightValue(state)));
}

std::int32_t DifferenceExpression::evaluate(const GlobalState* state) const {
  return wrap(std::uint32_t(leftValue(state)) - std::uint32_t(rightValue(state)));
}

std::int32_t DivideExpression::floorDivide(std::int32_t a, std::int32_t b) {
  if (b == 0) return 0;
  // In 64 bits, so that the smallest value divided by -1 wraps instead of trapping.
  std::int64_t x = a, y = b;
  std::int64_t q = x / y;
  if ((x < 0) != (y < 0) && q * y != x) --q;
  return wrap(std::uint32_t(std::uint64_t(q)));
}

std::int32_t DivideExpression::evaluate(const GlobalState* state) const {
  std::int32_t a = leftValue(state);
  return floorDivide(a, rightValue(state));
}

std::int32_t IfExpression::heightBelow(const IntegerGuard* condition, const IntegerExpression* a,
                                       const IntegerExpression* b) {
  std::int32_t h = std::max(heightOf(a), heightOf(b));
  if (condition) h = std::max({h, heightOf(condition->left()), heightOf(condition->right())});
  return h;
}

std::int32_t IfExpression::evaluate(const GlobalState* state) const {
  bool holds = condition_ && condition_->holds(state);
  const IntegerExpression* branch = holds ? then_.get() : else_.get();
  return branch ? branch->evaluate(state) : 0;
}
