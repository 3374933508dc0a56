#include "gta/parser.h"

#include <cctype>
#include <initializer_list>
#include <istream>
#include <iterator>
#include <limits>
#include <sstream>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "gta/lexer.h"
#include "model/channel.h"
#include "model/control_state.h"
#include "model/integer.h"
#include "model/integer_expression.h"
#include "model/process.h"
#include "model/model_tables.h"
#include "model/symbol_table.h"
#include "model/system.h"
#include "model/transition.h"
#include "base/error.h"
#include "model/clock.h"
#include "zones/zone.h"

namespace {

// Unwinds to the nearest point that can resume after an error; the error is already reported.
struct Recover {};
// Ends the reading: nothing can resume (end of the text, nesting too deep).
struct Abort {};

constexpr std::size_t maxParseStack = 10000;  // open constructs of one expression
constexpr int maxClocks = 255;              // the reference clock included
constexpr int maxStates = 32767;            // location numbers are 16 bits
constexpr int maxFrames = 65536;            // a process symbol keeps its frame in 16 bits
constexpr int maxSlots = 32767;             // and its slot in the upper half, sign bit clear
constexpr std::int32_t maxCells = 1 << 20;  // integer cells of all variables together

// Relational operator codes of integer guards, also used for clock constraints.
constexpr std::int32_t opGE = 0, opLE = 1, opLT = 2, opGT = 3, opEQ = 4, opNE = 5;

std::int32_t wrap(std::int64_t v) { return std::int32_t(std::uint32_t(std::uint64_t(v))); }

// The process whose body is being read.
struct ProcessReader {
  std::int32_t symbol = -1;  // process symbol index
  std::int32_t frame = 0;
  std::int32_t firstState = 0;                      // symbol index of state 0
  std::vector<std::string> stateNames;              // by state number
  std::vector<std::vector<Ref<Guard>>> invariants;  // by state number
  std::vector<char> committed, urgent;              // by state number
  std::int32_t initial = -1;
  std::vector<Ref<Transition>> edges;
  std::int32_t lastSource = -1;  // source of the previous transition
  bool sourceNamed = false;      // some transition named its source

  std::int32_t stateCount() const { return std::int32_t(stateNames.size()); }
  // The number of the state a scanned IDENT names, -1 when it is no state of this process.
  std::int32_t stateOf(const TokenValue& v) const {
    if (v.kind != stateKind || v.number < firstState || v.number >= firstState + stateCount())
      return -1;
    return v.extra >= 0 && v.extra < stateCount() ? v.extra : -1;
  }
};

class Parser {
 public:
  Parser(std::string text, bool strict, Diagnostics& diagnostics)
      : diagnostics_(diagnostics), lexer_(std::move(text), diagnostics), strict_(strict) {
    lexer_.setStrict(strict);
  }

  // The new system, or null when the text is rejected (the reasons are on the sink).
  Ref<System> run();

 private:
  // Tokens are scanned only when the grammar needs to look at them, so a declaration's action
  // runs before the next name is classified.
  Token peek() {
    if (!buffered_) {
      token_ = lexer_.next(value_);
      buffered_ = true;
    }
    return token_;
  }
  // Takes the current token as part of a construct.
  void consume() {
    buffered_ = false;
    ++consumed_;
    if (quiet_ > 0) --quiet_;
  }
  // Drops the current token while resuming after an error.
  void discard() {
    buffered_ = false;
    ++consumed_;
  }
  void expect(Token t) {
    if (peek() != t) syntaxError();
    consume();
  }
  bool accept(Token t) {
    if (peek() != t) return false;
    consume();
    return true;
  }

  // "parse error", unless an error was reported less than three tokens ago.
  [[noreturn]] void syntaxError() {
    if (quiet_ == 0) {
      if (strict_)
        reportAtToken(unexpectedToken());
      else
        diagnostics_.reportError("parse error");
    }
    failed_ = true;
    quiet_ = 3;
    throw Recover{};
  }
  // A checked rule is broken: the report, and reading goes on.
  void complain(std::string_view message) {
    if (!message.empty() && message.back() == '\n') message.remove_suffix(1);
    if (strict_)
      reportAtToken(withToken(message));
    else
      diagnostics_.reportError(message);
    failed_ = true;
  }
  // Strict reports: "LINE:COLUMN: message" of the token scanned last.
  void reportAtToken(std::string_view message) {
    diagnostics_.stream() << lexer_.tokenLine() << ':' << lexer_.tokenColumn() << ": " << message
                          << '\n';
  }
  std::string unexpectedToken() const;
  std::string withToken(std::string_view message) const;
  // A checked rule is broken: the report, and reading resumes as after a syntax error.
  [[noreturn]] void fail(std::string_view message) {
    complain(message);
    quiet_ = 3;
    throw Recover{};
  }

  // Error recovery.
  Token skipTo(std::initializer_list<Token> until);
  void skipPastClosingBrace();
  void recoverAtTopLevel(std::int64_t consumedBefore);
  void recoverDeclaration();

  // Declarations.
  static bool startsDeclaration(Token t) {
    return t == Token::CONST || t == Token::CHAN || t == Token::URGENT || t == Token::CLOCK ||
           t == Token::INT;
  }
  void declarationWithRecovery();
  void declaration();
  std::string declName();
  void constDecl();
  void chanDecl();
  void clockDecl();
  void intDecl();
  void intDeclarator(std::int32_t lo, std::int32_t hi);

  // Processes.
  void process();
  void processBody(ProcessReader& reader);
  void stateList(ProcessReader& reader);
  void stateDecl(ProcessReader& reader);
  void stateNameList(ProcessReader& reader, std::vector<char>* flags);
  void transitionList(ProcessReader& reader);
  void transition(ProcessReader& reader);
  void boundList(std::vector<Ref<Guard>>& bounds);
  Ref<Guard> bound();
  Ref<Transition> transBody();
  void guardClause(std::vector<Ref<Guard>>& guards);
  void constraint(std::vector<Ref<Guard>>& guards);
  std::int32_t syncClause(const std::vector<Ref<Guard>>& guards);
  void assignClause(std::vector<Ref<Assignment>>& assignments);
  Ref<Assignment> assignment();
  void assembleProcess(ProcessReader& reader);

  // Layout information, read and dropped.
  void position();
  void nails();
  void point();

  // Expressions.
  std::int32_t relop();
  std::int32_t constExpr() { return expression<std::int32_t>(); }
  Ref<IntegerExpression> intExpr() { return expression<Ref<IntegerExpression>>(); }
  template <class Value>
  Value expression();
  Ref<VariableExpression> lvalue();
  std::int32_t clockConstant(std::int32_t c);

  // The system line and the system.
  Ref<System> systemLine();
  void identList(std::vector<TokenValue>* names);
  Ref<System> buildSystem(const std::vector<TokenValue>& names);

  Diagnostics& diagnostics_;
  Lexer lexer_;
  Token token_ = Token::END;
  TokenValue value_;
  bool buffered_ = false;
  std::int64_t consumed_ = 0;  // tokens taken or dropped so far
  int quiet_ = 0;              // tokens to take before the next syntax error is reported
  bool failed_ = false;
  bool strict_ = false;
  bool declaring_ = false;  // inside a declaration, for the hints of strict reports

  std::int32_t currentProcess_ = -1;  // symbol index of the process being read, -1 outside
  // Assembled processes by symbol index, and the frame of each process symbol.
  std::vector<Ref<Process>> processes_;
  std::vector<std::int32_t> frames_;
};

// ---- strict reports

// The token the reading stopped at, with a hint where a habit from other languages explains it.
std::string Parser::unexpectedToken() const {
  std::string_view text = lexer_.tokenText();
  if (token_ == Token::END) return "unexpected end of text";
  if (token_ == Token::ILLEGAL) {
    std::string_view two = lexer_.textAtToken(2);
    if (two == "&&" || two == "||") text = two;
  }
  std::string quoted = "'" + std::string(text) + "'";
  if (token_ == Token::IDENT && value_.kind == -1) return "unknown name " + quoted;
  std::string message = "unexpected " + quoted;
  const char* hint = nullptr;
  if (text == "&&" || text == "&")
    hint = "write ',' between the constraints of a guard";
  else if (text == "||" || text == "|")
    hint = "a guard has no 'or': write one transition per alternative";
  else if (text == "=" || (token_ == Token::EQ && declaring_))
    hint = "write ':=' to give a value, '==' to compare";
  else if (token_ == Token::BANG)
    hint = "'!' only follows a channel in 'sync', to compare write '!='";
  else if (token_ == Token::ARROW)
    hint = "'->' only joins the states of a transition";
  if (hint) message += std::string(": ") + hint;
  return message;
}

// A checked rule's message naming the token scanned last (a name or a number) when the message
// does not name it already.
std::string Parser::withToken(std::string_view message) const {
  std::string text(lexer_.tokenText());
  std::string result(message);
  auto isNameChar = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '$';
  };
  // Named already when the text stands in the message as a word of its own.
  for (std::size_t at = result.find(text); !text.empty() && at != std::string::npos;
       at = result.find(text, at + 1)) {
    std::size_t end = at + text.size();
    if ((at == 0 || !isNameChar(result[at - 1])) && (end == result.size() || !isNameChar(result[end])))
      return result;
  }
  // Only names and numbers are worth naming; a bracket or a semicolon would not help.
  if (text.empty() || !std::isalnum(static_cast<unsigned char>(text[0]))) return result;
  if (!result.empty() && result.back() == '.') result.pop_back();
  return result + ": '" + text + "'";
}

// ---- error recovery

// Drops tokens up to the first of `until` that is not inside braces opened while dropping, and
// returns it without taking it. A "}" that closes nothing, and the end of the text, also stop.
Token Parser::skipTo(std::initializer_list<Token> until) {
  int depth = 0;
  for (;;) {
    Token t = peek();
    if (t == Token::END) return t;
    if (depth == 0) {
      for (Token u : until)
        if (t == u) return t;
      if (t == Token::RBRACE) return t;
    }
    if (t == Token::LBRACE) ++depth;
    if (t == Token::RBRACE) --depth;
    discard();
  }
}

// Inside a "{": drops tokens up to and including the matching "}".
void Parser::skipPastClosingBrace() {
  int depth = 1;
  for (;;) {
    Token t = peek();
    if (t == Token::END) return;
    if (t == Token::LBRACE) ++depth;
    if (t == Token::RBRACE && --depth == 0) {
      consume();
      return;
    }
    discard();
  }
}

// Between global items: up to the end of the broken item (";") or the start of the next one.
void Parser::recoverAtTopLevel(std::int64_t consumedBefore) {
  if (consumed_ == consumedBefore && peek() != Token::END) discard();
  for (;;) {
    Token t = skipTo({Token::SEMICOLON, Token::PROCESS, Token::SYSTEM, Token::HIDE, Token::CONST,
                      Token::CHAN, Token::URGENT, Token::CLOCK, Token::INT});
    if (t == Token::END) throw Abort{};
    if (t == Token::RBRACE) {
      discard();
      continue;
    }
    if (t == Token::SEMICOLON) consume();
    return;
  }
}

// After a broken declaration: past its ";", or up to what can follow a declaration.
void Parser::recoverDeclaration() {
  Token t = skipTo({Token::SEMICOLON, Token::PROCESS, Token::SYSTEM, Token::HIDE, Token::STATE});
  if (t == Token::SEMICOLON) consume();
}

// ---- the text

// specification -> { declaration } process { { declaration } process } systemLine
Ref<System> Parser::run() {
  ClockInfo::addClock(-1, -1, "t(0)");
  bool sawProcess = false;
  bool declaredSinceProcess = false;
  for (;;) {
    std::int64_t before = consumed_;
    try {
      Token t = peek();
      if (startsDeclaration(t)) {
        declaration();
        declaredSinceProcess = true;
      } else if (t == Token::PROCESS) {
        process();
        sawProcess = true;
        declaredSinceProcess = false;
      } else if ((t == Token::SYSTEM || t == Token::HIDE) && sawProcess && !declaredSinceProcess) {
        return systemLine();
      } else {
        syntaxError();
      }
    } catch (Recover&) {
      recoverAtTopLevel(before);
    }
  }
}

// ---- declarations

// declaration -> constDecl | chanDecl | clockDecl | intDecl
void Parser::declaration() {
  struct Flag {
    bool& flag;
    explicit Flag(bool& f) : flag(f) { flag = true; }
    ~Flag() { flag = false; }
  } declaring(declaring_);
  switch (peek()) {
    case Token::CONST:
      return constDecl();
    case Token::CHAN:
    case Token::URGENT:
      return chanDecl();
    case Token::CLOCK:
      return clockDecl();
    default:
      return intDecl();
  }
}

void Parser::declarationWithRecovery() {
  try {
    declaration();
  } catch (Recover&) {
    recoverDeclaration();
  }
}

// declName -> IDENT | INTNAME | CLOCKNAME | CONSTNAME
// The name is scanned with "global." names locked out, so they cannot be declared.
std::string Parser::declName() {
  lexer_.setQualifiedNameLock(true);
  Token t = peek();
  lexer_.setQualifiedNameLock(false);
  if (t != Token::IDENT && t != Token::INTNAME && t != Token::CLOCKNAME && t != Token::CONSTNAME)
    syntaxError();
  std::string name = value_.text;
  consume();
  return name;
}

// constDecl -> "const" declName constExpr ";"
void Parser::constDecl() {
  expect(Token::CONST);
  std::string name = declName();
  std::int32_t value = constExpr();
  expect(Token::SEMICOLON);
  if (!symbols().declare(name.c_str(), constantKind, value)) complain("Redefined symbol " + name);
}

// chanDecl -> [ "urgent" ] "chan" declName { "," declName } ";"
void Parser::chanDecl() {
  bool urgent = accept(Token::URGENT);
  expect(Token::CHAN);
  std::vector<std::string> names{declName()};
  while (accept(Token::COMMA)) names.push_back(declName());
  expect(Token::SEMICOLON);
  for (const std::string& name : names) {
    std::int32_t number = channels().add(urgent, name);
    if (!symbols().declare(name.c_str(), channelKind, number)) {
      complain("Redefined symbol " + name);
      return;
    }
  }
}

// clockDecl -> "clock" declName { "," declName } ";"
void Parser::clockDecl() {
  expect(Token::CLOCK);
  std::vector<std::string> names{declName()};
  while (accept(Token::COMMA)) names.push_back(declName());
  expect(Token::SEMICOLON);
  for (const std::string& name : names) {
    std::int32_t index = symbols().counter(clockKind);
    if (!symbols().declare(name.c_str(), clockKind, 0)) {
      complain("Redefined symbol " + name);
      return;
    }
    if (ClockInfo::count() >= maxClocks) {
      complain("Too many clocks.\n");
      return;
    }
    std::int32_t number = ClockInfo::addClock(index, currentProcess_, "");
    symbols().setExtra(clockKind, index, number);
  }
}

// intDecl -> "int" [ "[" constExpr "," constExpr "]" ] intDeclarator { "," intDeclarator } ";"
void Parser::intDecl() {
  expect(Token::INT);
  std::int32_t lo = defaultIntegerLo, hi = defaultIntegerHi;
  lexer_.setQualifiedNameLock(true);  // the token after "int" may be the declared name
  Token t = peek();
  lexer_.setQualifiedNameLock(false);
  if (t == Token::LBRACKET) {
    consume();
    lo = constExpr();
    expect(Token::COMMA);
    hi = constExpr();
    expect(Token::RBRACKET);
    if (lo > hi) fail("Empty variable domain.\n");
  }
  intDeclarator(lo, hi);
  while (accept(Token::COMMA)) intDeclarator(lo, hi);
  expect(Token::SEMICOLON);
}

// intDeclarator -> declName | declName ":=" constExpr | declName "[" constExpr "]"
void Parser::intDeclarator(std::int32_t lo, std::int32_t hi) {
  std::string name = declName();
  std::int32_t init = defaultIntegerValue(lo, hi);
  std::int32_t size = 1;
  if (accept(Token::ASSIGN)) {
    init = constExpr();
    if (init < lo || init > hi) fail("Initial value not in domain of " + name);
  } else if (accept(Token::LBRACKET)) {
    size = constExpr();
    expect(Token::RBRACKET);
    if (size <= 0) fail("Illegal array size.\n");
  }
  // Every state carries all cells, so their number is bounded.
  if (size > maxCells - integerVariables().cellCount()) fail("Too many integer cells.\n");
  std::int32_t index = symbols().counter(integerKind);
  if (!symbols().declare(name.c_str(), integerKind, integerVariables().size()))
    fail("Redefined symbol " + name);
  integerVariables().declare(index, currentProcess_, lo, hi, init, size);
}

// ---- processes

// process -> "process" IDENT [ position ] "{" processBody "}"
void Parser::process() {
  std::string name;
  try {
    expect(Token::PROCESS);
    if (peek() != Token::IDENT) syntaxError();
    name = value_.text;
    consume();
    if (peek() == Token::LBRACKET) position();
    expect(Token::LBRACE);
  } catch (Recover&) {
    // Drop the whole process: its body up to the matching "}", if a body follows at all.
    for (;;) {
      Token t = skipTo({Token::LBRACE, Token::PROCESS, Token::SYSTEM, Token::HIDE});
      if (t == Token::RBRACE) {
        discard();
        continue;
      }
      if (t == Token::LBRACE) {
        consume();
        skipPastClosingBrace();
      }
      return;
    }
  }

  ProcessReader reader;
  reader.symbol = symbols().counter(processKind);
  bool declared = symbols().declare(name.c_str(), processKind, 0);
  if (!declared) complain("Redefined symbol " + name);
  reader.frame = symbols().newFrame();
  if (reader.frame >= maxFrames) complain("Too many processes.\n");
  if (declared) symbols().setExtra(processKind, reader.symbol, reader.frame & 0xFFFF);
  currentProcess_ = reader.symbol;
  try {
    processBody(reader);
    expect(Token::RBRACE);
  } catch (Recover&) {
    skipPastClosingBrace();
  }
  symbols().popFrame();
  currentProcess_ = -1;
  if (declared && !failed_) assembleProcess(reader);
}

// processBody -> { declaration } "state" stateDecl { "," stateDecl } ";"
//                [ "commit" IDENT { "," IDENT } ";" ] [ "urgent" IDENT { "," IDENT } ";" ]
//                "init" IDENT ";" [ "trans" transition { "," transition } ";" ]
void Parser::processBody(ProcessReader& reader) {
  while (startsDeclaration(peek())) declarationWithRecovery();
  stateList(reader);
  if (accept(Token::COMMIT)) stateNameList(reader, &reader.committed);
  if (accept(Token::URGENT)) stateNameList(reader, &reader.urgent);
  expect(Token::INIT);
  stateNameList(reader, nullptr);
  if (accept(Token::TRANS)) transitionList(reader);
}

void Parser::stateList(ProcessReader& reader) {
  expect(Token::STATE);
  reader.firstState = symbols().counter(stateKind);
  reader.stateNames.clear();
  reader.invariants.clear();
  for (;;) {
    try {
      stateDecl(reader);
    } catch (Recover&) {
      skipTo({Token::COMMA, Token::SEMICOLON});
    }
    if (accept(Token::COMMA)) continue;
    expect(Token::SEMICOLON);
    break;
  }
  reader.committed.assign(reader.invariants.size(), 0);
  reader.urgent.assign(reader.invariants.size(), 0);
}

// stateDecl -> declName [ position ] [ STRING [ position ] ]
//              [ "{" bound { "," bound } "}" [ position ] ]
// A state whose layout or invariant is broken is still declared, so that the rest of the
// process can name it.
void Parser::stateDecl(ProcessReader& reader) {
  std::string name = declName();
  std::vector<Ref<Guard>> invariant;
  bool broken = false;
  try {
    if (peek() == Token::LBRACKET) position();
    if (accept(Token::STRING) && peek() == Token::LBRACKET) position();
    if (accept(Token::LBRACE)) {
      boundList(invariant);
      if (peek() == Token::LBRACKET) position();
    }
  } catch (Recover&) {
    broken = true;
  }
  std::int32_t number = reader.stateCount();
  if (number >= maxStates) fail("Too many states.\n");
  if (!symbols().declare(name.c_str(), stateKind, number)) fail("Redefined symbol " + name);
  reader.stateNames.push_back(std::move(name));
  reader.invariants.push_back(std::move(invariant));
  if (broken) throw Recover{};
}

// After a "{": bound { "," bound } "}". An error drops the rest of the braces.
void Parser::boundList(std::vector<Ref<Guard>>& bounds) {
  try {
    bounds.push_back(bound());
    while (accept(Token::COMMA)) bounds.push_back(bound());
    expect(Token::RBRACE);
  } catch (Recover&) {
    skipPastClosingBrace();
    throw;
  }
}

// bound -> CLOCKNAME ( "<=" | "<" ) constExpr
Ref<Guard> Parser::bound() {
  if (peek() != Token::CLOCKNAME) syntaxError();
  std::int32_t clock = value_.extra;
  consume();
  Token op = peek();
  if (op != Token::LE && op != Token::LT) syntaxError();
  consume();
  std::int32_t c = constExpr();
  if (c < 0) fail("RHS of invariant < 0.\n");
  return Ref<Guard>(new ClockGuard(clock, 0, clockConstant(c), op == Token::LT));
}

// IDENT { "," IDENT } ";" naming states of this process: the commit or urgent list (flags), or
// the initial state (no flags).
void Parser::stateNameList(ProcessReader& reader, std::vector<char>* flags) {
  for (;;) {
    if (peek() != Token::IDENT) syntaxError();
    std::int32_t state = reader.stateOf(value_);
    std::string name = value_.text;
    consume();
    if (state < 0)
      complain("Unknown state " + name);
    else if (flags)
      (*flags)[std::size_t(state)] = 1;
    else
      reader.initial = state;
    if (!flags || !accept(Token::COMMA)) break;
  }
  expect(Token::SEMICOLON);
}

void Parser::transitionList(ProcessReader& reader) {
  for (;;) {
    try {
      transition(reader);
    } catch (Recover&) {
      skipTo({Token::COMMA, Token::SEMICOLON});
    }
    if (accept(Token::COMMA)) continue;
    expect(Token::SEMICOLON);
    return;
  }
}

// transition -> [ source ] "->" [ nails ] IDENT transBody
// source -> IDENT | IDENT "{" bound { "," bound } "}" [ nails ]
void Parser::transition(ProcessReader& reader) {
  std::int32_t source = reader.lastSource;
  if (peek() == Token::IDENT) {
    source = reader.stateOf(value_);
    consume();
    reader.sourceNamed = true;
    reader.lastSource = source;
    if (source < 0) complain("Transition source is not a state.\n");
    if (accept(Token::LBRACE)) {
      std::vector<Ref<Guard>> bounds;
      boundList(bounds);
      if (source >= 0)
        for (Ref<Guard>& g : bounds) reader.invariants[std::size_t(source)].push_back(std::move(g));
      if (peek() == Token::LBRACKET) nails();
    }
  } else if (peek() == Token::ARROW && !reader.sourceNamed) {
    complain("First transition must have an explicit source state.\n");
    reader.sourceNamed = true;  // one report per process
  }
  expect(Token::ARROW);
  if (peek() == Token::LBRACKET) nails();
  if (peek() != Token::IDENT) syntaxError();
  std::int32_t destination = reader.stateOf(value_);
  consume();
  if (destination < 0) complain("Transition destination is not a state.\n");
  Ref<Transition> edge = transBody();
  if (source < 0 || destination < 0) return;
  edge->setSource(std::int16_t(source));
  edge->setDestination(std::int16_t(destination));
  reader.edges.push_back(std::move(edge));
}

// transBody -> "{" [ "guard" constraint { "," constraint } [ position ] ";" ]
//              [ "sync" CHANNAME ( "!" | "?" ) [ position ] ";" ]
//              [ "assign" assignment { "," assignment } [ position ] ";" ] "}"
Ref<Transition> Parser::transBody() {
  expect(Token::LBRACE);
  std::vector<Ref<Guard>> guards;
  std::vector<Ref<Assignment>> assignments;
  std::int32_t sync = 0;
  try {
    if (accept(Token::GUARD)) guardClause(guards);
    if (accept(Token::SYNC)) sync = syncClause(guards);
    if (accept(Token::ASSIGN)) assignClause(assignments);
    expect(Token::RBRACE);
  } catch (Recover&) {
    skipPastClosingBrace();
    throw;
  }
  return Ref<Transition>(new Transition(sync, std::move(guards), std::move(assignments)));
}

// After "guard": constraint { "," constraint } [ position ] ";". A broken constraint is dropped
// up to the next ",".
void Parser::guardClause(std::vector<Ref<Guard>>& guards) {
  do {
    try {
      constraint(guards);
    } catch (Recover&) {
      skipTo({Token::COMMA, Token::SEMICOLON});
    }
  } while (accept(Token::COMMA));
  if (peek() == Token::LBRACKET) position();
  expect(Token::SEMICOLON);
}

// constraint -> CLOCKNAME relop constExpr | CLOCKNAME relop CLOCKNAME [ "+" constExpr ]
//             | intExpr relop intExpr
void Parser::constraint(std::vector<Ref<Guard>>& guards) {
  if (peek() != Token::CLOCKNAME) {
    Ref<IntegerExpression> left = intExpr();
    std::int32_t op = relop();
    Ref<IntegerExpression> right = intExpr();
    guards.push_back(Ref<Guard>(new IntegerGuard(std::move(left), op, std::move(right))));
    return;
  }
  std::int32_t x = value_.extra, y = 0, c = 0;
  std::string name = value_.text;
  consume();
  std::int32_t op = relop();
  if (peek() == Token::CLOCKNAME) {
    y = value_.extra;
    consume();
    if (accept(Token::PLUS)) c = constExpr();
    if (op == opNE) fail("Operator != not supported for clocks.\n");
  } else {
    c = constExpr();
    if (c < 0) fail("Clock " + name + " compared to negative value. (" + std::to_string(c) + ")\n");
    if (op == opNE) fail("Operator != not supported for clocks.\n");
  }
  c = clockConstant(c);
  // x - y op c as bounds on clock differences.
  if (op == opLE || op == opLT || op == opEQ)
    guards.push_back(Ref<Guard>(new ClockGuard(x, y, c, op == opLT)));
  if (op == opGE || op == opGT || op == opEQ)
    guards.push_back(Ref<Guard>(new ClockGuard(y, x, -c, op == opGT)));
}

// Clock constants must fit a raw bound.
std::int32_t Parser::clockConstant(std::int32_t c) {
  if (c > maxClockConstant || c < -maxClockConstant) fail("Clock constant out of range.\n");
  return c;
}

// After "sync": CHANNAME ( "!" | "?" ) [ position ] ";". Returns the synchronisation label; 0
// when the clause is broken.
std::int32_t Parser::syncClause(const std::vector<Ref<Guard>>& guards) {
  try {
    if (peek() != Token::CHANNAME) syntaxError();
    std::int32_t channel = value_.number + 1;
    consume();
    std::int32_t sync;
    if (accept(Token::BANG))
      sync = channel;
    else if (accept(Token::QUESTION))
      sync = -channel;
    else
      syntaxError();
    if (channels().isUrgent(channel))
      for (const Ref<Guard>& g : guards)
        if (g->kind() == clockKind) fail("Clock guards are not allowed on urgent transitions.\n");
    if (peek() == Token::LBRACKET) position();
    expect(Token::SEMICOLON);
    return sync;
  } catch (Recover&) {
    if (skipTo({Token::SEMICOLON}) == Token::SEMICOLON) consume();
    return 0;
  }
}

// After "assign" (or ":="): assignment { "," assignment } [ position ] ";".
void Parser::assignClause(std::vector<Ref<Assignment>>& assignments) {
  do {
    try {
      assignments.push_back(assignment());
    } catch (Recover&) {
      skipTo({Token::COMMA, Token::SEMICOLON});
    }
  } while (accept(Token::COMMA));
  if (peek() == Token::LBRACKET) position();
  expect(Token::SEMICOLON);
}

// assignment -> CLOCKNAME ":=" constExpr | lvalue ":=" intExpr
Ref<Assignment> Parser::assignment() {
  if (peek() == Token::CLOCKNAME) {
    std::int32_t x = value_.extra;
    std::string name = value_.text;
    consume();
    expect(Token::ASSIGN);
    std::int32_t c = constExpr();
    if (c < 0) fail("Clock " + name + " set to negative value. (" + std::to_string(c) + ")\n");
    return Ref<Assignment>(new ClockAssign(x, clockConstant(c)));
  }
  Ref<VariableExpression> target = lvalue();
  expect(Token::ASSIGN);
  Ref<IntegerExpression> value = intExpr();
  return Ref<Assignment>(new IntegerAssign(std::move(target), std::move(value)));
}

// Locations by number, then the edges; flags and invariants as collected.
void Parser::assembleProcess(ProcessReader& reader) {
  Ref<Process> process(new Process(reader.firstState, std::int16_t(reader.initial)));
  process->setProcessSymbol(reader.symbol);
  for (std::int32_t k = 0; k < reader.stateCount(); ++k) {
    Ref<ControlState> location(new ControlState(std::int16_t(k), reader.firstState + k,
                                                reader.committed[std::size_t(k)] != 0,
                                                reader.urgent[std::size_t(k)] != 0));
    for (Ref<Guard>& g : reader.invariants[std::size_t(k)]) location->addInvariant(std::move(g));
    process->addLocation(std::move(location));
  }
  for (Ref<Transition>& edge : reader.edges) process->addEdge(std::move(edge));
  if (processes_.size() <= std::size_t(reader.symbol)) {
    processes_.resize(std::size_t(reader.symbol) + 1);
    frames_.resize(std::size_t(reader.symbol) + 1, 0);
  }
  processes_[std::size_t(reader.symbol)] = std::move(process);
  frames_[std::size_t(reader.symbol)] = reader.frame;
}

// ---- layout information

// position -> "[" point "]"
void Parser::position() {
  expect(Token::LBRACKET);
  point();
  expect(Token::RBRACKET);
}

// nails -> "[" [ point { "," point } ] "]"
void Parser::nails() {
  expect(Token::LBRACKET);
  if (peek() == Token::LPAREN) {
    point();
    while (accept(Token::COMMA)) point();
  }
  expect(Token::RBRACKET);
}

// point -> "(" coordinate "," coordinate ")";  coordinate -> [ "-" ] ( NUMBER | CONSTNAME )
void Parser::point() {
  expect(Token::LPAREN);
  for (int k = 0; k < 2; ++k) {
    if (k == 1) expect(Token::COMMA);
    accept(Token::MINUS);
    if (peek() != Token::NUMBER && peek() != Token::CONSTNAME) syntaxError();
    consume();
  }
  expect(Token::RPAREN);
}

// ---- expressions

// relop -> "<=" | "<" | "!=" | ">=" | ">" | "=="
std::int32_t Parser::relop() {
  std::int32_t op;
  switch (peek()) {
    case Token::LE:
      op = opLE;
      break;
    case Token::LT:
      op = opLT;
      break;
    case Token::NE:
      op = opNE;
      break;
    case Token::GE:
      op = opGE;
      break;
    case Token::GT:
      op = opGT;
      break;
    case Token::EQ:
      op = opEQ;
      break;
    default:
      syntaxError();
  }
  consume();
  return op;
}

// The two expression grammars, read by one loop with an explicit stack of open constructs so
// that nesting costs no machine stack; tokens are looked at in the same order as by a
// recursive reading of the rules:
//
// constExpr  -> constTerm { ( "+" | "-" ) constTerm }, folded in 32 bits
// constTerm  -> constUnary { ( "*" | "/" ) constUnary }; "/" truncates toward zero
// constUnary -> "-" constUnary | NUMBER | CONSTNAME | "(" constExpr ")"
//
// intExpr  -> intTerm { ( "+" | "-" ) intTerm }
// intTerm  -> intUnary { ( "*" | "/" ) intUnary }
// intUnary -> "-" intUnary | NUMBER | CONSTNAME | lvalue
//           | "<?" "(" intExpr "," intExpr ")" | ">?" "(" intExpr "," intExpr ")"
//           | "(" intExpr ")" | "(" intExpr relop intExpr "?" intExpr ":" intExpr ")"
//
// Value is std::int32_t for constExpr and Ref<IntegerExpression> for intExpr.
template <class Value>
Value Parser::expression() {
  constexpr bool constant = std::is_same_v<Value, std::int32_t>;
  using Tree = Ref<IntegerExpression>;
  enum class Construct : std::uint8_t { sum, term, negation, element, extremum, group };
  struct Frame {
    Construct construct;
    Token op = Token::END;  // sum, term: the operator before the operand being read
    int stage = 0;          // operands read so far
    std::int32_t relation = 0, variable = 0, symbol = 0;
    Value first{}, second{}, third{};
  };
  enum class Goal { expression, term, unary } goal = Goal::expression;
  std::vector<Frame> open;
  auto push = [&](Frame frame) {
    if (open.size() >= maxParseStack) {
      if (strict_)
        reportAtToken("parser stack overflow");
      else
        diagnostics_.reportError("parser stack overflow");
      failed_ = true;
      throw Abort{};
    }
    open.push_back(std::move(frame));
  };
  auto leaf = [](std::int32_t value) {
    if constexpr (constant)
      return value;
    else
      return Tree(new ConstantExpression(value));
  };

  Value result{};
  for (;;) {
    // Down: open constructs until an operand is complete.
    for (bool complete = false; !complete;) {
      if (goal == Goal::expression) {
        push({Construct::sum});
        goal = Goal::term;
        continue;
      }
      if (goal == Goal::term) {
        push({Construct::term});
        goal = Goal::unary;
        continue;
      }
      Token t = peek();
      if (t == Token::MINUS) {
        consume();
        push({Construct::negation});
      } else if (t == Token::NUMBER || t == Token::CONSTNAME) {
        result = leaf(t == Token::NUMBER ? value_.number : value_.extra);
        consume();
        complete = true;
      } else if (t == Token::LPAREN) {
        consume();
        push({Construct::group});
        goal = Goal::expression;
      } else if constexpr (constant) {
        syntaxError();
      } else if (t == Token::INTNAME) {
        Frame element{Construct::element};
        element.variable = value_.extra;
        element.symbol = value_.number;
        consume();
        if (accept(Token::LBRACKET)) {
          push(std::move(element));
          goal = Goal::expression;
        } else {
          result = Tree(new VariableExpression(element.variable, element.symbol));
          complete = true;
        }
      } else if (t == Token::MIN || t == Token::MAX) {
        Frame extremum{Construct::extremum};
        extremum.op = t;
        consume();
        expect(Token::LPAREN);
        push(std::move(extremum));
        goal = Goal::expression;
      } else {
        syntaxError();
      }
    }

    // Up: hand the operand to the innermost open construct, closing constructs until one asks
    // for another operand.
    for (bool wanted = false; !wanted;) {
      if (open.empty()) return result;
      Frame& f = open.back();
      switch (f.construct) {
        case Construct::sum:
        case Construct::term: {
          bool sum = f.construct == Construct::sum;
          if (f.stage++ == 0) {
            f.first = std::move(result);
          } else if constexpr (constant) {
            std::int64_t a = f.first, b = result;
            if (f.op == Token::PLUS) f.first = wrap(a + b);
            if (f.op == Token::MINUS) f.first = wrap(a - b);
            if (f.op == Token::STAR) f.first = wrap(a * b);
            if (f.op == Token::SLASH) {
              if (b == 0) fail("Division by zero in constant expression.\n");
              f.first = wrap(a / b);
            }
          } else {
            Tree a = std::move(f.first), b = std::move(result);
            if (f.op == Token::PLUS) f.first = Tree(new SumExpression(std::move(a), std::move(b)));
            if (f.op == Token::MINUS)
              f.first = Tree(new DifferenceExpression(std::move(a), std::move(b)));
            if (f.op == Token::STAR)
              f.first = Tree(new ProductExpression(std::move(a), std::move(b)));
            if (f.op == Token::SLASH)
              f.first = Tree(new DivideExpression(std::move(a), std::move(b)));
          }
          Token next = peek();
          if (sum ? next == Token::PLUS || next == Token::MINUS
                  : next == Token::STAR || next == Token::SLASH) {
            consume();
            f.op = next;
            goal = sum ? Goal::term : Goal::unary;
            wanted = true;
          } else {
            result = std::move(f.first);
            open.pop_back();
          }
          break;
        }
        case Construct::negation:
          if constexpr (constant)
            result = wrap(-std::int64_t(result));
          else
            result = Tree(new DifferenceExpression(Tree(new ConstantExpression(0)), std::move(result)));
          open.pop_back();
          break;
        case Construct::element:
          if constexpr (!constant) {
            expect(Token::RBRACKET);
            result = Tree(new VariableExpression(f.variable, f.symbol, std::move(result)));
          }
          open.pop_back();
          break;
        case Construct::extremum:
          if constexpr (!constant) {
            if (f.stage++ == 0) {
              f.first = std::move(result);
              expect(Token::COMMA);
              goal = Goal::expression;
              wanted = true;
              break;
            }
            expect(Token::RPAREN);
            if (f.op == Token::MIN)
              result = Tree(new MinExpression(std::move(f.first), std::move(result)));
            else
              result = Tree(new MaxExpression(std::move(f.first), std::move(result)));
          }
          open.pop_back();
          break;
        case Construct::group:
          if constexpr (constant) {
            expect(Token::RPAREN);
          } else {
            // "(" intExpr ")", or the conditional: the condition's operands, then the branches.
            int stage = f.stage++;
            if (stage == 0 && accept(Token::RPAREN)) {
              open.pop_back();
              break;
            }
            if (stage == 0) {
              f.first = std::move(result);
              f.relation = relop();
            } else if (stage == 1) {
              f.second = std::move(result);
              expect(Token::QUESTION);
            } else if (stage == 2) {
              f.third = std::move(result);
              expect(Token::COLON);
            }
            if (stage < 3) {
              goal = Goal::expression;
              wanted = true;
              break;
            }
            expect(Token::RPAREN);
            Ref<IntegerGuard> condition(
                new IntegerGuard(std::move(f.first), f.relation, std::move(f.second)));
            result = Tree(
                new IfExpression(std::move(condition), std::move(f.third), std::move(result)));
          }
          open.pop_back();
          break;
      }
    }
  }
}

// lvalue -> INTNAME | INTNAME "[" intExpr "]"
Ref<VariableExpression> Parser::lvalue() {
  if (peek() != Token::INTNAME) syntaxError();
  std::int32_t variable = value_.extra, symbol = value_.number;
  consume();
  Ref<IntegerExpression> index;
  if (accept(Token::LBRACKET)) {
    index = intExpr();
    expect(Token::RBRACKET);
  }
  return Ref<VariableExpression>(new VariableExpression(variable, symbol, std::move(index)));
}

// ---- the system

// systemLine -> "system" IDENT { "," IDENT } ";" [ "hide" IDENT { "," IDENT } ";" ]
//             | "hide" IDENT { "," IDENT } ";" "system" IDENT { "," IDENT } ";"
Ref<System> Parser::systemLine() {
  std::vector<TokenValue> names;
  bool hideFirst = accept(Token::HIDE);
  if (hideFirst) identList(nullptr);
  expect(Token::SYSTEM);
  identList(&names);
  if (!hideFirst && accept(Token::HIDE)) identList(nullptr);
  if (peek() != Token::END) syntaxError();
  if (failed_) return nullptr;
  return buildSystem(names);
}

// IDENT { "," IDENT } ";"; the names are kept when asked.
void Parser::identList(std::vector<TokenValue>* names) {
  do {
    if (peek() != Token::IDENT) syntaxError();
    if (names) names->push_back(value_);
    consume();
  } while (accept(Token::COMMA));
  expect(Token::SEMICOLON);
}

// One slot per listed name, filled only when every name is a process.
Ref<System> Parser::buildSystem(const std::vector<TokenValue>& names) {
  for (const TokenValue& name : names)
    if (name.kind != processKind || std::size_t(name.number) >= processes_.size() ||
        !processes_[std::size_t(name.number)])
      complain(std::string("Type inconsistensy: ") + name.text + " not a process.\n");
  if (names.size() > std::size_t(maxSlots)) complain("Too many processes.\n");
  if (failed_) return nullptr;

  Ref<System> system(new System(int(names.size())));
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::size_t symbol = std::size_t(names[i].number);
    std::uint32_t extra = std::uint32_t(i) << 16 | std::uint32_t(frames_[symbol] & 0xFFFF);
    symbols().setExtra(processKind, names[i].number, std::int32_t(extra));
    system->setProcess(int(i), processes_[symbol]);
  }
  ClockInfo::resolveOwners();
  system->prepare();
  system->storeConstants();
  return system;
}

}  // namespace

ParseResult parseSystem(std::string_view text, bool strict) {
  std::ostringstream diagnostics;
  Diagnostics reading(diagnostics);
  ParseResult result;
  {
    // The text is read into fresh tables; the current ones stay as they are until the text
    // is accepted.
    auto tables = std::make_shared<ModelTables>();
    {
      ModelBinding binding(tables);
      Parser parser{std::string(text), strict, reading};
      try {
        result.system = parser.run();
      } catch (Abort&) {
        result.system = nullptr;
      }
    }
    if (result.system) {
      result.system->setTables(tables);
      makeCurrent(std::move(tables));
    }
  }
  result.diagnostics = diagnostics.str();
  return result;
}

ParseResult parseSystem(std::istream& in, bool strict) {
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return parseSystem(text, strict);
}
