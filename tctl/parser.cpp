#include "tctl/parser.h"

#include <algorithm>
#include <cstdint>
#include <istream>
#include <sstream>
#include <vector>

#include "tctl/deadlock.h"
#include "model/integer_expression.h"
#include "model/symbol_table.h"
#include "model/system.h"
#include "base/error.h"
#include "tctl/lexer.h"
#include "tctl/tctl_expression.h"
#include "model/clock.h"
#include "zones/zone.h"

namespace {

// Thrown at the first syntax error; the offending token is the current one. A misplaced
// "deadlock" has written its own message already.
struct SyntaxError {
  bool reported;
};

// An operand on the parse stack: a formula, or an integer expression that a comparison will
// turn into one.
struct Value {
  Ref<TCTLExpression> formula;
  Ref<IntegerExpression> term;
  bool isTerm() const { return bool(term); }
};

// Operators and open groups on the parse stack.
enum class Op {
  paren,
  bracket,
  notOp,
  negate,
  imply,
  orOp,
  andOp,
  relation,
  plus,
  minus,
  times,
  divide
};

struct Pending {
  Op op;
  std::int32_t value = 0;   // the relation code; for an index, the variable
  std::int32_t symbol = 0;  // for an index, the variable's symbol
  bool termOnly = false;    // a parenthesis opened where only an integer expression may stand
};

// Operator precedence parsing with explicit stacks, one token of lookahead. A token is read only
// once the one before it has been used, so the scanner's messages come in text order, and an
// error is found at the first token that cannot continue a property. The two stacks together
// hold at most maxParseStack entries: nesting beyond that is refused, flat chains of any length
// are not (they are reduced as they are read).
class PropertyParser {
 public:
  PropertyParser(PropertyScanner& scanner, Diagnostics& diagnostics, Ref<System> system)
      : scanner_(scanner), diagnostics_(diagnostics), system_(std::move(system)) {}
  ParsedProperty run();

 private:
  void next() {
    token_ = scanner_.next();
    value_ = scanner_.value();
  }
  [[noreturn]] void fail() { throw SyntaxError{false}; }
  void expect(TctlToken token) {
    if (token_ != token) fail();
  }
  bool atEnd() const { return token_ == TctlToken::END_OF_PROPERTY || token_ == TctlToken::END; }
  void expectEnd() {
    if (!atEnd()) fail();
  }

  static int precedence(Op op);
  static bool binaryOperator(TctlToken token, Pending& pending);

  Ref<TCTLExpression> formula();
  bool termContext() const;
  void pushOperator(Pending pending);
  void pushValue(Value value);
  void reduce();
  // Reduces down to the innermost open group, which stays.
  void reduceGroup();
  Ref<TCTLExpression> clockComparison();
  Ref<TCTLExpression> location();
  Ref<TCTLExpression> deadlock();

  std::int32_t clockNumber(std::int32_t symbolIndex);
  std::int32_t clockConstant(std::int64_t value);

  PropertyScanner& scanner_;
  Diagnostics& diagnostics_;
  Ref<System> system_;
  TctlToken token_ = TctlToken::END;
  std::int32_t value_ = 0;
  bool deadlockForbidden_ = false;
  std::vector<Pending> operators_;
  std::vector<Value> values_;
};

int PropertyParser::precedence(Op op) {
  switch (op) {
    case Op::imply:
      return 1;
    case Op::orOp:
      return 2;
    case Op::andOp:
      return 3;
    case Op::notOp:
      return 4;
    case Op::relation:
      return 5;
    case Op::plus:
    case Op::minus:
      return 6;
    case Op::times:
    case Op::divide:
      return 7;
    case Op::negate:
      return 8;
    default:
      return 0;  // open groups are never reduced by an operator
  }
}

bool PropertyParser::binaryOperator(TctlToken token, Pending& pending) {
  switch (token) {
    case TctlToken::IMPLY:
      pending.op = Op::imply;
      return true;
    case TctlToken::OR:
      pending.op = Op::orOp;
      return true;
    case TctlToken::AND:
      pending.op = Op::andOp;
      return true;
    case TctlToken::RELOP:
      pending.op = Op::relation;
      return true;
    case TctlToken::PLUS:
      pending.op = Op::plus;
      return true;
    case TctlToken::MINUS:
      pending.op = Op::minus;
      return true;
    case TctlToken::STAR:
      pending.op = Op::times;
      return true;
    case TctlToken::SLASH:
      pending.op = Op::divide;
      return true;
    default:
      return false;
  }
}

// property -> [ "quit" | END | "E<>" p | "A[]" p | "E[]" p | "A<>" p | p "-->" p ] end
ParsedProperty PropertyParser::run() {
  next();
  try {
    switch (token_) {
      case TctlToken::END:  // accepted at once
        return {propertyQuit, nullptr};
      case TctlToken::END_OF_PROPERTY:
        return {propertyNone, nullptr};
      case TctlToken::QUIT:
        next();
        expectEnd();
        return {propertyQuit, nullptr};
      case TctlToken::EF:
      case TctlToken::AG:
      case TctlToken::EG:
      case TctlToken::AF: {
        TctlToken quantifier = token_;
        deadlockForbidden_ = quantifier == TctlToken::EG || quantifier == TctlToken::AF;
        next();
        Ref<TCTLExpression> p = formula();
        expectEnd();
        switch (quantifier) {
          case TctlToken::EF:
            return {propertyReachable, std::move(p)};
          case TctlToken::AG:
            return {propertyAlways, p->negate()};
          case TctlToken::EG:
            return {propertyPersistent, std::move(p)};
          default:
            return {propertyInevitable, p->negate()};
        }
      }
      default: {
        deadlockForbidden_ = true;
        Ref<TCTLExpression> p = formula();
        expect(TctlToken::LEADSTO);
        next();
        Ref<TCTLExpression> q = formula();
        expectEnd();
        return {propertyLeadsTo, Ref<TCTLExpression>(new OrExpr(std::move(p), std::move(q)))};
      }
    }
  } catch (const SyntaxError& error) {
    if (!error.reported) diagnostics_.reportBadProperty();
    // The rest of the line is still scanned, so its names are still reported.
    while (!atEnd()) next();
    return {propertyNone, nullptr};
  }
}

// p -> unary { ("imply" | "or" | "and") unary }, by precedence, all to the left
// unary -> "not" unary | "(" p ")" | e RELOP e | clock comparison | location | "true" | "deadlock"
// e -> e ("+" | "-" | "*" | "/") e | "-" e | NAT | INTVAR [ "[" e "]" ] | "(" e ")"
// "not" binds tighter than "and" but looser than a comparison; "*" and "/" tighter than "+" and
// "-"; unary minus tightest. Parentheses hold a formula or an integer expression; which one is
// known when they close.
Ref<TCTLExpression> PropertyParser::formula() {
  operators_.clear();
  values_.clear();
  bool operand = true;  // an operand is due, or else an operator
  for (;;) {
    if (operand) {
      switch (token_) {
        case TctlToken::LPAREN:
          pushOperator({Op::paren, 0, 0, termContext()});
          next();
          continue;
        case TctlToken::NOT:
          if (termContext()) fail();
          pushOperator({Op::notOp});
          next();
          continue;
        case TctlToken::MINUS:
          pushOperator({Op::negate});
          next();
          continue;
        case TctlToken::NAT:
          pushValue({nullptr, Ref<IntegerExpression>(new ConstantExpression(value_))});
          next();
          break;
        case TctlToken::INTVAR: {
          std::int32_t symbolIndex = value_;
          std::int32_t variable = symbols().extraOf(integerKind, symbolIndex);
          next();
          if (token_ == TctlToken::LBRACKET) {
            pushOperator({Op::bracket, variable, symbolIndex, true});
            next();
            continue;
          }
          pushValue({nullptr, Ref<IntegerExpression>(
                                  new VariableExpression(variable, symbolIndex, nullptr))});
          break;
        }
        case TctlToken::CLOCKVAR:
          if (termContext()) fail();
          pushValue({clockComparison(), nullptr});
          break;
        case TctlToken::LOCATION:
          if (termContext()) fail();
          pushValue({location(), nullptr});
          break;
        case TctlToken::TRUE:
          if (termContext()) fail();
          pushValue({Ref<TCTLExpression>(new TrueExpr()), nullptr});
          next();
          break;
        case TctlToken::DEADLOCK:
          if (termContext()) fail();
          pushValue({deadlock(), nullptr});
          break;
        default:
          fail();
      }
      operand = false;
      continue;
    }
    Pending pending{Op::paren};
    if (binaryOperator(token_, pending)) {
      int level = precedence(pending.op);
      while (!operators_.empty() && precedence(operators_.back().op) >= level) reduce();
      bool integerOperands = pending.op >= Op::relation;
      if (values_.back().isTerm() != integerOperands) fail();
      // A comparison makes a formula, which cannot stand where an integer expression must.
      if (pending.op == Op::relation) {
        for (auto k = operators_.rbegin(); k != operators_.rend(); ++k)
          if (k->op == Op::paren || k->op == Op::bracket) {
            if (k->termOnly) fail();
            break;
          }
        pending.value = value_;
      }
      pushOperator(pending);
      next();
      operand = true;
      continue;
    }
    if (token_ == TctlToken::RPAREN || token_ == TctlToken::RBRACKET) {
      reduceGroup();
      if (operators_.empty()) {
        if (token_ == TctlToken::RPAREN) break;  // not ours: the caller fails on it
        fail();
      }
      Pending group = operators_.back();
      if ((group.op == Op::paren) != (token_ == TctlToken::RPAREN)) fail();
      operators_.pop_back();
      if (group.op == Op::bracket) {
        Ref<IntegerExpression> index = std::move(values_.back().term);
        values_.pop_back();
        pushValue({nullptr, Ref<IntegerExpression>(new VariableExpression(group.value, group.symbol,
                                                                          std::move(index)))});
      }
      next();
      continue;
    }
    break;
  }
  reduceGroup();
  if (!operators_.empty() || values_.back().isTerm()) fail();
  Ref<TCTLExpression> result = std::move(values_.back().formula);
  values_.clear();
  return result;
}

// An integer expression must come next: inside an index, a term-only parenthesis, or after an
// arithmetic operator, unary minus or a comparison.
bool PropertyParser::termContext() const {
  if (operators_.empty()) return false;
  const Pending& top = operators_.back();
  switch (top.op) {
    case Op::paren:
      return top.termOnly;
    case Op::bracket:
    case Op::negate:
    case Op::relation:
    case Op::plus:
    case Op::minus:
    case Op::times:
    case Op::divide:
      return true;
    default:
      return false;
  }
}

void PropertyParser::pushOperator(Pending pending) {
  if (operators_.size() + values_.size() >= maxParseStack) fail();
  operators_.push_back(pending);
}

void PropertyParser::pushValue(Value value) {
  if (operators_.size() + values_.size() >= maxParseStack) fail();
  values_.push_back(std::move(value));
}

void PropertyParser::reduceGroup() {
  while (!operators_.empty() && operators_.back().op != Op::paren &&
         operators_.back().op != Op::bracket)
    reduce();
}

// Applies the top operator to its operands, checking that they are of its kind.
void PropertyParser::reduce() {
  Pending top = operators_.back();
  operators_.pop_back();
  if (top.op == Op::notOp || top.op == Op::negate) {
    Value& v = values_.back();
    if (v.isTerm() != (top.op == Op::negate)) fail();
    if (top.op == Op::notOp) {
      v.formula = Ref<TCTLExpression>(new NotExpr(std::move(v.formula)));
    } else {
      Ref<IntegerExpression> zero(new ConstantExpression(0));
      v.term = Ref<IntegerExpression>(new DifferenceExpression(std::move(zero), std::move(v.term)));
    }
    return;
  }
  Value right = std::move(values_.back());
  values_.pop_back();
  Value& left = values_.back();
  bool integerOperands = top.op >= Op::relation;
  if (right.isTerm() != integerOperands || left.isTerm() != integerOperands) fail();
  Ref<IntegerExpression> a = std::move(left.term), b = std::move(right.term);
  switch (top.op) {
    case Op::andOp:
      left.formula =
          Ref<TCTLExpression>(new AndExpr(std::move(left.formula), std::move(right.formula)));
      break;
    case Op::orOp:
      left.formula =
          Ref<TCTLExpression>(new OrExpr(std::move(left.formula), std::move(right.formula)));
      break;
    case Op::imply: {  // a imply b is (not a) or b
      Ref<TCTLExpression> negated(new NotExpr(std::move(left.formula)));
      left.formula = Ref<TCTLExpression>(new OrExpr(std::move(negated), std::move(right.formula)));
      break;
    }
    case Op::relation:
      left.formula = Ref<TCTLExpression>(new IntExpr(top.value, std::move(a), std::move(b)));
      break;
    case Op::plus:
      left.term = Ref<IntegerExpression>(new SumExpression(std::move(a), std::move(b)));
      break;
    case Op::minus:
      left.term = Ref<IntegerExpression>(new DifferenceExpression(std::move(a), std::move(b)));
      break;
    case Op::times:
      left.term = Ref<IntegerExpression>(new ProductExpression(std::move(a), std::move(b)));
      break;
    default:
      left.term = Ref<IntegerExpression>(new DivideExpression(std::move(a), std::move(b)));
      break;
  }
}

Ref<TCTLExpression> PropertyParser::location() {
  std::uint32_t packed = std::uint32_t(value_);
  Ref<TCTLExpression> e(new StateExpr(scanner_.processSymbol(), scanner_.locationSymbol(),
                                      std::int32_t(packed >> 16), std::int32_t(packed & 0xFFFF)));
  next();
  return e;
}

// "deadlock" is read in "E<>" and "A[]" properties only. The message is written before the
// next token is read.
Ref<TCTLExpression> PropertyParser::deadlock() {
  if (deadlockForbidden_) {
    diagnostics_.stream() << "Bad property: "
                  << "'deadlock' predicate now allowed in "
                  << "A<>, E[], and --> properties" << '\n';
    throw SyntaxError{true};
  }
  Ref<TCTLExpression> e(new CddDeadlockExpr(system_));
  next();
  return e;
}

std::int32_t PropertyParser::clockNumber(std::int32_t symbolIndex) {
  std::int32_t clock = symbols().extraOf(clockKind, symbolIndex);
  if (clock <= 0 || clock >= ClockInfo::count()) fail();
  return clock;
}

// Constants beyond what zones can hold are refused.
std::int32_t PropertyParser::clockConstant(std::int64_t value) {
  if (value > maxClockConstant || value < -std::int64_t(maxClockConstant)) fail();
  return std::int32_t(value);
}

// clock comparison -> x RELOP NAT | x RELOP y [ ("-" | "+") NAT ]
// "==" is the conjunction of ">=" and "<=", "!=" the disjunction of "<" and ">".
Ref<TCTLExpression> PropertyParser::clockComparison() {
  std::int32_t x = clockNumber(value_);
  next();
  expect(TctlToken::RELOP);
  int relation = value_;
  next();
  std::int32_t y = 0;
  std::int32_t c = 0;
  if (token_ == TctlToken::NAT) {
    c = clockConstant(value_);
    next();
  } else if (token_ == TctlToken::CLOCKVAR) {
    y = clockNumber(value_);
    next();
    if (token_ == TctlToken::MINUS || token_ == TctlToken::PLUS) {
      bool minus = token_ == TctlToken::MINUS;
      next();
      expect(TctlToken::NAT);
      c = clockConstant(minus ? -std::int64_t(value_) : std::int64_t(value_));
      next();
    }
  } else {
    fail();
  }
  auto make = [&](int r) { return Ref<TCTLExpression>(new ClockExpr(x, y, r, c)); };
  switch (relation) {
    case relEqual:
      return Ref<TCTLExpression>(new AndExpr(make(relGreaterEqual), make(relLessEqual)));
    case relNotEqual:
      return Ref<TCTLExpression>(new OrExpr(make(relLess), make(relGreater)));
    default:
      return make(relation);
  }
}

}  // namespace

ParsedProperty parseProperty(std::istream& text, Ref<System> system, PropertyScanner& scanner,
                             Diagnostics& diagnostics) {
  // The input is taken away however the reading ends, an exception included.
  struct Reading {
    PropertyScanner& scanner;
    ~Reading() { scanner.finish(); }
  } reading{scanner};
  scanner.begin(text, diagnostics, system.get());
  return PropertyParser(scanner, diagnostics, std::move(system)).run();
}

CheckedProperty parsePropertyText(const std::string& text, Ref<System> system) {
  std::istringstream in(text);
  std::ostringstream buffer;
  Diagnostics diagnostics(buffer);
  PropertyScanner scanner;
  ParsedProperty parsed = parseProperty(in, std::move(system), scanner, diagnostics);
  CheckedProperty checked;
  checked.kind = parsed.kind;
  checked.expression = std::move(parsed.expression);
  checked.diagnostics = buffer.str();
  return checked;
}
