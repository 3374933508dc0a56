#include "tctl/parser.h"

#include <algorithm>
#include <cstdint>
#include <istream>
#include <sstream>

#include "cdd/deadlock.h"
#include "model/intexpr.h"
#include "model/symtable.h"
#include "model/system.h"
#include "server/error.h"
#include "tctl/lexer.h"
#include "tctl/tctlexpr.h"
#include "zones/clock.h"
#include "zones/region.h"

Ref<TCTLExpression> tctl_result;
int tctl_kind = propertyNone;
Ref<System> tctl_system;

namespace {

// Thrown at the first syntax error; the offending token is the current one. A misplaced
// "deadlock" has written its own message already.
struct SyntaxError {
  bool reported;
};

struct Formula {
  Ref<TCTLExpression> expression;
  int depth;
};

struct Term {
  Ref<IntegerExpression> expression;
  int depth;
};

// Inside parentheses the parser cannot tell an integer expression from a formula until it
// meets a comparison or the closing parenthesis: it carries either.
struct Mixed {
  Formula formula;
  Term term;
  bool isTerm;
};

// Recursive descent with one token of lookahead. A token is read only once the one before it
// has been used, so the scanner's messages come in text order, and an error is found at the
// first token that cannot continue a property.
class PropertyParser {
 public:
  int run();

 private:
  void next() {
    token_ = tctl_lex();
    value_ = tctl_lval;
  }
  [[noreturn]] void fail() { throw SyntaxError{false}; }
  void expect(TctlToken token) {
    if (token_ != token) fail();
  }
  bool atEnd() const { return token_ == TctlToken::END_OF_PROPERTY || token_ == TctlToken::END; }
  void expectEnd() {
    if (!atEnd()) fail();
  }
  int checkDepth(int depth) {
    if (depth > maxPropertyDepth) fail();
    return depth;
  }

  // Counts the parser's own recursion (parentheses, "not", unary minus, array indices).
  class Nesting {
   public:
    explicit Nesting(PropertyParser& parser) : parser_(parser) {
      if (parser_.nesting_ >= maxNesting) parser_.fail();
      ++parser_.nesting_;
    }
    ~Nesting() { --parser_.nesting_; }

   private:
    PropertyParser& parser_;
  };
  static constexpr int maxNesting = 256;

  static int precedence(TctlToken token);
  static int termPrecedence(TctlToken token);

  Formula formula();
  Formula climb(Formula left, int minimum);
  Formula combine(TctlToken op, Formula left, Formula right);
  Formula unary();
  Mixed mixedUnary(bool allowBareTerm);
  Mixed mixedPrimary();
  Mixed mixedContent();
  Formula clockComparison();
  Formula location();
  Formula deadlock();

  Term term();
  Term climbTerm(Term left, int minimum);
  Term termUnary();
  Term termPrimary();

  std::int32_t clockNumber(std::int32_t symbolIndex);
  std::int32_t clockConstant(std::int64_t value);

  TctlToken token_ = TctlToken::END;
  std::int32_t value_ = 0;
  bool deadlockForbidden_ = false;
  int nesting_ = 0;
};

int PropertyParser::precedence(TctlToken token) {
  switch (token) {
    case TctlToken::IMPLY:
      return 1;
    case TctlToken::OR:
      return 2;
    case TctlToken::AND:
      return 3;
    default:
      return 0;
  }
}

int PropertyParser::termPrecedence(TctlToken token) {
  switch (token) {
    case TctlToken::PLUS:
    case TctlToken::MINUS:
      return 1;
    case TctlToken::STAR:
    case TctlToken::SLASH:
      return 2;
    default:
      return 0;
  }
}

// property -> [ "quit" | END | "E<>" p | "A[]" p | "E[]" p | "A<>" p | p "-->" p ] end
int PropertyParser::run() {
  tctl_result = nullptr;
  tctl_kind = propertyNone;
  next();
  try {
    switch (token_) {
      case TctlToken::END:  // accepted at once
        tctl_kind = propertyQuit;
        return 0;
      case TctlToken::END_OF_PROPERTY:
        tctl_kind = propertyNone;
        return 0;
      case TctlToken::QUIT:
        next();
        expectEnd();
        tctl_kind = propertyQuit;
        return 0;
      case TctlToken::EF:
      case TctlToken::AG:
      case TctlToken::EG:
      case TctlToken::AF: {
        TctlToken quantifier = token_;
        deadlockForbidden_ = quantifier == TctlToken::EG || quantifier == TctlToken::AF;
        next();
        Formula p = formula();
        expectEnd();
        switch (quantifier) {
          case TctlToken::EF:
            tctl_result = std::move(p.expression);
            tctl_kind = propertyReachable;
            break;
          case TctlToken::AG:
            tctl_result = p.expression->negate();
            tctl_kind = propertyAlways;
            break;
          case TctlToken::EG:
            tctl_result = std::move(p.expression);
            tctl_kind = propertyPersistent;
            break;
          default:
            tctl_result = p.expression->negate();
            tctl_kind = propertyInevitable;
            break;
        }
        return 0;
      }
      default: {
        deadlockForbidden_ = true;
        Formula p = formula();
        expect(TctlToken::LEADSTO);
        next();
        Formula q = formula();
        expectEnd();
        tctl_result =
            Ref<TCTLExpression>(new OrExpr(std::move(p.expression), std::move(q.expression)));
        tctl_kind = propertyLeadsTo;
        return 0;
      }
    }
  } catch (const SyntaxError& error) {
    if (!error.reported) reportBadProperty();
    // The rest of the line is still scanned, so its names are still reported.
    while (!atEnd()) next();
    tctl_result = nullptr;
    tctl_kind = propertyNone;
    return 1;
  }
}

// p -> unary { ("imply" | "or" | "and") unary }, by precedence, all to the left
Formula PropertyParser::formula() { return climb(unary(), 1); }

Formula PropertyParser::climb(Formula left, int minimum) {
  while (precedence(token_) >= minimum) {
    TctlToken op = token_;
    int level = precedence(op);
    next();
    Formula right = unary();
    while (precedence(token_) > level) right = climb(std::move(right), level + 1);
    left = combine(op, std::move(left), std::move(right));
  }
  return left;
}

Formula PropertyParser::combine(TctlToken op, Formula left, Formula right) {
  int depth = std::max(left.depth, right.depth) + 1;
  switch (op) {
    case TctlToken::AND:
      return {
          Ref<TCTLExpression>(new AndExpr(std::move(left.expression), std::move(right.expression))),
          checkDepth(depth)};
    case TctlToken::OR:
      return {
          Ref<TCTLExpression>(new OrExpr(std::move(left.expression), std::move(right.expression))),
          checkDepth(depth)};
    default: {  // a imply b is (not a) or b
      depth = std::max(left.depth + 1, right.depth) + 1;
      Ref<TCTLExpression> negated(new NotExpr(std::move(left.expression)));
      return {Ref<TCTLExpression>(new OrExpr(std::move(negated), std::move(right.expression))),
              checkDepth(depth)};
    }
  }
}

Formula PropertyParser::unary() { return mixedUnary(false).formula; }

// unary -> "not" unary | primary [ RELOP e ]
// A bare integer expression is allowed only as the whole content of parentheses.
Mixed PropertyParser::mixedUnary(bool allowBareTerm) {
  if (token_ == TctlToken::NOT) {
    Nesting nesting(*this);
    next();
    Formula operand = unary();
    int depth = checkDepth(operand.depth + 1);
    return {{Ref<TCTLExpression>(new NotExpr(std::move(operand.expression))), depth}, {}, false};
  }
  Mixed m = mixedPrimary();
  if (!m.isTerm) return m;
  if (token_ == TctlToken::RELOP) {
    int relation = value_;
    next();
    Term right = term();
    int depth = checkDepth(std::max(m.term.depth, right.depth) + 1);
    return {{Ref<TCTLExpression>(
                 new IntExpr(relation, std::move(m.term.expression), std::move(right.expression))),
             depth},
            {},
            false};
  }
  if (allowBareTerm) return m;
  fail();
}

// primary -> "(" content ")" | e | clock comparison | location | "true" | "deadlock"
Mixed PropertyParser::mixedPrimary() {
  switch (token_) {
    case TctlToken::LPAREN: {
      Nesting nesting(*this);
      next();
      Mixed inner = mixedContent();
      expect(TctlToken::RPAREN);
      next();
      if (inner.isTerm) inner.term = climbTerm(std::move(inner.term), 1);
      return inner;
    }
    case TctlToken::NAT:
    case TctlToken::INTVAR:
    case TctlToken::MINUS:
      return {{}, term(), true};
    case TctlToken::CLOCKVAR:
      return {clockComparison(), {}, false};
    case TctlToken::LOCATION:
      return {location(), {}, false};
    case TctlToken::TRUE:
      next();
      return {{Ref<TCTLExpression>(new TrueExpr()), 1}, {}, false};
    case TctlToken::DEADLOCK:
      return {deadlock(), {}, false};
    default:
      fail();
  }
}

// content -> p | e
Mixed PropertyParser::mixedContent() {
  Mixed m = mixedUnary(true);
  if (m.isTerm) return m;
  m.formula = climb(std::move(m.formula), 1);
  return m;
}

Formula PropertyParser::location() {
  std::uint32_t packed = std::uint32_t(value_);
  Ref<TCTLExpression> e(new StateExpr(tctl_processSymbol, tctl_locationSymbol,
                                      std::int32_t(packed >> 16), std::int32_t(packed & 0xFFFF)));
  next();
  return {std::move(e), 1};
}

// "deadlock" is read in "E<>" and "A[]" properties only. The message is written before the
// next token is read.
Formula PropertyParser::deadlock() {
  if (deadlockForbidden_) {
    errorStream() << "Bad property: "
                  << "'deadlock' predicate now allowed in "
                  << "A<>, E[], and --> properties" << '\n';
    throw SyntaxError{true};
  }
  Ref<TCTLExpression> e(new CDDDeadlockExpr(tctl_system));
  next();
  return {std::move(e), 1};
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
Formula PropertyParser::clockComparison() {
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
      return {Ref<TCTLExpression>(new AndExpr(make(relGreaterEqual), make(relLessEqual))), 2};
    case relNotEqual:
      return {Ref<TCTLExpression>(new OrExpr(make(relLess), make(relGreater))), 2};
    default:
      return {make(relation), 1};
  }
}

// e -> unary { ("+" | "-" | "*" | "/") unary }, "*" and "/" binding tighter, all to the left
Term PropertyParser::term() { return climbTerm(termUnary(), 1); }

Term PropertyParser::climbTerm(Term left, int minimum) {
  while (termPrecedence(token_) >= minimum) {
    TctlToken op = token_;
    int level = termPrecedence(op);
    next();
    Term right = termUnary();
    while (termPrecedence(token_) > level) right = climbTerm(std::move(right), level + 1);
    int depth = checkDepth(std::max(left.depth, right.depth) + 1);
    Ref<IntegerExpression> a = std::move(left.expression), b = std::move(right.expression);
    switch (op) {
      case TctlToken::PLUS:
        left = {Ref<IntegerExpression>(new SumExpression(std::move(a), std::move(b))), depth};
        break;
      case TctlToken::MINUS:
        left = {Ref<IntegerExpression>(new DifferenceExpression(std::move(a), std::move(b))),
                depth};
        break;
      case TctlToken::STAR:
        left = {Ref<IntegerExpression>(new ProductExpression(std::move(a), std::move(b))), depth};
        break;
      default:
        left = {Ref<IntegerExpression>(new DivideExpression(std::move(a), std::move(b))), depth};
        break;
    }
  }
  return left;
}

// unary -> "-" unary | primary        (unary minus binds tightest: - 1 * 2 is (-1) * 2)
Term PropertyParser::termUnary() {
  if (token_ != TctlToken::MINUS) return termPrimary();
  Nesting nesting(*this);
  next();
  Term operand = termUnary();
  int depth = checkDepth(operand.depth + 1);
  Ref<IntegerExpression> zero(new ConstantExpression(0));
  return {Ref<IntegerExpression>(
              new DifferenceExpression(std::move(zero), std::move(operand.expression))),
          depth};
}

// primary -> NAT | INTVAR [ "[" e "]" ] | "(" e ")"
Term PropertyParser::termPrimary() {
  switch (token_) {
    case TctlToken::NAT: {
      Ref<IntegerExpression> e(new ConstantExpression(value_));
      next();
      return {std::move(e), 1};
    }
    case TctlToken::INTVAR: {
      std::int32_t symbolIndex = value_;
      std::int32_t variable = symbols().extraOf(integerKind, symbolIndex);
      next();
      Term index{nullptr, 0};
      if (token_ == TctlToken::LBRACKET) {
        Nesting nesting(*this);
        next();
        index = term();
        expect(TctlToken::RBRACKET);
        next();
      }
      int depth = checkDepth(index.depth + 1);
      return {Ref<IntegerExpression>(
                  new VariableExpression(variable, symbolIndex, std::move(index.expression))),
              depth};
    }
    case TctlToken::LPAREN: {
      Nesting nesting(*this);
      next();
      Term inner = term();
      expect(TctlToken::RPAREN);
      next();
      return inner;
    }
    default:
      fail();
  }
}

}  // namespace

int tctl_parse() {
  PropertyParser parser;
  return parser.run();
}

ParsedProperty parseProperty(std::istream& text, Ref<System> system) {
  tctl_system = std::move(system);
  tctl_setInput(&text);
  tctl_parse();
  tctl_setInput(nullptr);
  tctl_system = nullptr;
  ParsedProperty parsed;
  parsed.kind = tctl_kind;
  parsed.expression = std::move(tctl_result);
  tctl_result = nullptr;
  return parsed;
}

CheckedProperty parsePropertyText(const std::string& text, Ref<System> system) {
  std::istringstream in(text);
  std::ostringstream diagnostics;
  std::ostream& previous = errorStream();
  setErrorStream(diagnostics);
  lineNumber = 1;
  ParsedProperty parsed = parseProperty(in, std::move(system));
  setErrorStream(previous);
  CheckedProperty checked;
  checked.kind = parsed.kind;
  checked.expression = std::move(parsed.expression);
  checked.diagnostics = diagnostics.str();
  return checked;
}
