#include "tctl/lexer.h"

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#include "model/process.h"
#include "model/symbol_table.h"
#include "model/system.h"
#include "base/error.h"
#include "tctl/parser.h"

std::int32_t tctl_lval = 0;
std::int32_t tctl_processSymbol = -1;
std::int32_t tctl_locationSymbol = -1;

namespace {

constexpr int endOfInput = -1;

// The scanner's input and the characters it has read ahead but not used yet. It never looks
// past a line feed that ends the property, so nothing after the first line is taken from the
// stream unless a comment or a line continuation runs on.
struct Scanner {
  std::streambuf* source = nullptr;
  std::string ahead;
  bool comment = false;
  // Strict scanning: bytes consumed since the input was set, and the places recorded.
  bool strict = false;
  std::size_t consumed = 0;
  std::size_t tokenStart = 0;
  std::string tokenText;
  TctlPlace last, refusal;

  int peek(std::size_t k) {
    while (ahead.size() <= k) {
      if (!source) return endOfInput;
      int c = source->sbumpc();
      if (c == std::char_traits<char>::eof()) {
        source = nullptr;
        return endOfInput;
      }
      ahead.push_back(char(c));
    }
    return static_cast<unsigned char>(ahead[k]);
  }
  void consume(std::size_t n) {
    if (strict) {
      tokenText.append(ahead, 0, n);
      consumed += n;
    }
    ahead.erase(0, n);
  }
};

Scanner scanner;

bool isLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isNameChar(int c) { return isLetter(c) || isDigit(c) || c == '_' || c == '#' || c == '$'; }

std::string readName() {
  std::string name;
  while (isNameChar(scanner.peek(0))) {
    name.push_back(char(scanner.peek(0)));
    scanner.consume(1);
  }
  return name;
}

TctlToken keyword(const std::string& name) {
  static const struct {
    const char* text;
    TctlToken token;
  } words[] = {
      {"and", TctlToken::AND},     {"or", TctlToken::OR},     {"not", TctlToken::NOT},
      {"imply", TctlToken::IMPLY}, {"true", TctlToken::TRUE}, {"deadlock", TctlToken::DEADLOCK},
      {"quit", TctlToken::QUIT},
  };
  for (const auto& w : words)
    if (name == w.text) return w.token;
  return TctlToken::BADSYM;
}

// Strict scanning: the first refusal, at the token being scanned.
void refuse(const std::string& message) {
  if (!scanner.strict || scanner.refusal.column) return;
  scanner.refusal = {std::int32_t(scanner.tokenStart) + 1, scanner.tokenText, message};
}

TctlToken badName(const std::string& name, const char* why) {
  errorStream() << "Bad property: " << name << why;
  std::string reason(why);
  if (reason.find("undefined") != std::string::npos)
    refuse("unknown name '" + name + "'");
  else if (reason.find("in system") != std::string::npos)
    refuse("process '" + name + "' is not in the system");
  else if (reason.find("no such process") != std::string::npos)
    refuse("unknown process '" + name + "'");
  else
    refuse("'" + name + "' cannot be used here");
  return TctlToken::BADSYM;
}

// A character the language does not know: skipped, or refused when scanning strictly.
bool skipUnknown(std::size_t length, const char* hint) {
  scanner.consume(length);
  if (!scanner.strict) return false;
  std::string message = "unexpected '" + scanner.tokenText + "'";
  if (hint) message += std::string(": ") + hint;
  refuse(message);
  return true;
}

// The token of a constant, clock or integer variable (its value or symbol index in
// tctl_lval); BADSYM for any other kind.
TctlToken valueToken(const Symbol& symbol) {
  switch (symbol.kind) {
    case constantKind:
      tctl_lval = symbol.extra;
      return TctlToken::NAT;
    case clockKind:
      tctl_lval = symbol.index;
      return TctlToken::CLOCKVAR;
    case integerKind:
      tctl_lval = symbol.index;
      return TctlToken::INTVAR;
    default:
      return TctlToken::BADSYM;
  }
}

// A single name, looked up in the frames that are active now.
TctlToken resolveName(const std::string& name) {
  const Symbol& symbol = symbols().find(name.c_str());
  if (!symbol.isFound()) return badName(name, ": undefined symbol.\n");
  TctlToken token = valueToken(symbol);
  if (token != TctlToken::BADSYM) return token;
  return badName(name, ": Illegal entity in query.\n");
}

// process "." name: the name is looked up with the process's frame active.
TctlToken resolveQualified(const std::string& process, const std::string& name) {
  SymbolTable& table = symbols();
  const Symbol owner = table.find(process.c_str());
  if (!owner.isFound() || owner.kind != processKind) return badName(process, ": no such process\n");
  // The upper half of a process's extra field is its position in the system (all ones when the
  // system line does not list it), the lower half its frame.
  std::uint32_t extra = std::uint32_t(owner.extra);
  std::uint32_t position = extra >> 16;
  std::int32_t frame = std::int32_t(extra & 0xFFFF);
  // A process the system line does not list keeps position 0 in some readers: the system's
  // slot must really hold this process.
  bool placed = position != 0xFFFF && frame > 0 && frame < table.frameCount();
  if (placed && tctl_system) {
    placed = std::int32_t(position) < tctl_system->processCount() &&
             tctl_system->process(std::int32_t(position))->processSymbol() == owner.index;
  }
  if (!placed) return badName(process, ": no such process in system\n");

  table.pushFrame(frame);
  Symbol symbol = table.find(name.c_str());
  table.popFrame();
  if (!symbol.isFound()) return TctlToken::BADSYM;
  switch (symbol.kind) {
    case stateKind:
      if (std::uint32_t(symbol.extra) > 0xFFFF)
        fatalError("%s", "setLo(): Number to large for wordsize.\n ");
      if (position > 0xFFFF) fatalError("%s", "setHi(): Number to large for wordsize.\n ");
      tctl_lval = std::int32_t((position << 16) | std::uint32_t(symbol.extra));
      tctl_processSymbol = owner.index;
      tctl_locationSymbol = symbol.index;
      return TctlToken::LOCATION;
    case constantKind:
    case clockKind:
    case integerKind:
      return valueToken(symbol);
    default:
      errorStream() << "Bad property: " << process << '.' << name << ": Illegal entity in query.\n";
      return TctlToken::BADSYM;
  }
}

TctlToken relop(std::size_t length, Relop code) {
  scanner.consume(length);
  tctl_lval = code;
  return TctlToken::RELOP;
}

TctlToken punctuation(TctlToken token) {
  scanner.consume(1);
  return token;
}

}  // namespace

void tctl_setInput(std::istream* in) {
  scanner.source = in ? in->rdbuf() : nullptr;
  scanner.ahead.clear();
  // The places stay readable after the reading, when the input is taken away.
  if (!in) return;
  scanner.consumed = 0;
  scanner.last = scanner.refusal = TctlPlace();
}

void tctl_setStrict(bool strict) { scanner.strict = strict; }
const TctlPlace& tctl_lastToken() { return scanner.last; }
const TctlPlace& tctl_firstRefusal() { return scanner.refusal; }

bool tctl_inComment() { return scanner.comment; }
void tctl_resetComment() { scanner.comment = false; }

namespace {
TctlToken scan();
}

TctlToken tctl_lex() {
  TctlToken token = scan();
  if (scanner.strict)
    scanner.last = {std::int32_t(scanner.tokenStart) + 1, scanner.tokenText, std::string()};
  return token;
}

namespace {
TctlToken scan() {
  tctl_lval = 0;
  for (;;) {
    scanner.tokenStart = scanner.consumed;
    scanner.tokenText.clear();
    int c = scanner.peek(0);
    if (c == endOfInput) return TctlToken::END;
    if (scanner.comment) {
      if (c == '*' && scanner.peek(1) == '/') {
        scanner.consume(2);
        scanner.comment = false;
        continue;
      }
      if (c == '\n') ++lineNumber;
      scanner.consume(1);
      continue;
    }
    switch (c) {
      case ' ':
      case '\t':
        scanner.consume(1);
        continue;
      case '\n':
        scanner.consume(1);
        ++lineNumber;
        return TctlToken::END_OF_PROPERTY;
      case '/':
        if (scanner.peek(1) == '*') {
          scanner.consume(2);
          scanner.comment = true;
          continue;
        }
        if (scanner.peek(1) == '/') {
          // Up to and including the line feed, which then does not end the property.
          scanner.consume(2);
          for (int d = scanner.peek(0); d != endOfInput; d = scanner.peek(0)) {
            scanner.consume(1);
            if (d == '\n') {
              ++lineNumber;
              break;
            }
          }
          continue;
        }
        return punctuation(TctlToken::SLASH);
      case '\\':
        if (scanner.peek(1) == '\n') {
          scanner.consume(2);
          ++lineNumber;
          continue;
        }
        if (skipUnknown(1, nullptr)) return TctlToken::BADSYM;
        continue;
      case '-':
        if (scanner.peek(1) == '-' && scanner.peek(2) == '>') {
          scanner.consume(3);
          return TctlToken::LEADSTO;
        }
        if (scanner.strict && scanner.peek(1) == '>' && skipUnknown(2, "write 'imply', or '-->' for leads-to"))
          return TctlToken::BADSYM;
        return punctuation(TctlToken::MINUS);
      case '<':
        return scanner.peek(1) == '=' ? relop(2, relLessEqual) : relop(1, relLess);
      case '>':
        return scanner.peek(1) == '=' ? relop(2, relGreaterEqual) : relop(1, relGreater);
      case '=':
        if (scanner.peek(1) == '=') return relop(2, relEqual);
        if (skipUnknown(1, "write '==' to compare")) return TctlToken::BADSYM;
        continue;
      case '!':
        if (scanner.peek(1) == '=') return relop(2, relNotEqual);
        if (skipUnknown(1, "write 'not'")) return TctlToken::BADSYM;
        continue;
      case '&':
        if (skipUnknown(scanner.peek(1) == '&' ? 2 : 1, "write 'and'")) return TctlToken::BADSYM;
        continue;
      case '|':
        if (skipUnknown(scanner.peek(1) == '|' ? 2 : 1, "write 'or'")) return TctlToken::BADSYM;
        continue;
      case '@':
        if (scanner.peek(1) == 'F' || scanner.peek(1) == 'L') {
          TctlToken token = scanner.peek(1) == 'F' ? TctlToken::AT_F : TctlToken::AT_L;
          scanner.consume(2);
          return token;
        }
        if (skipUnknown(1, nullptr)) return TctlToken::BADSYM;
        continue;
      case '(':
        return punctuation(TctlToken::LPAREN);
      case ')':
        return punctuation(TctlToken::RPAREN);
      case '[':
        return punctuation(TctlToken::LBRACKET);
      case ']':
        return punctuation(TctlToken::RBRACKET);
      case '+':
        return punctuation(TctlToken::PLUS);
      case '*':
        return punctuation(TctlToken::STAR);
      case '.':
        return punctuation(TctlToken::DOT);
      default:
        break;
    }
    if (isDigit(c)) {
      // A number beyond the 32-bit range cannot be used: it is a syntax error.
      std::int64_t value = 0;
      bool tooLarge = false;
      while (isDigit(scanner.peek(0))) {
        value = value * 10 + (scanner.peek(0) - '0');
        if (value > INT32_MAX) {
          tooLarge = true;
          value = INT32_MAX;
        }
        scanner.consume(1);
      }
      if (tooLarge) return TctlToken::BADSYM;
      tctl_lval = std::int32_t(value);
      return TctlToken::NAT;
    }
    if (isLetter(c)) {
      int second = scanner.peek(1);
      if ((c == 'E' || c == 'A') && (second == '<' || second == '[')) {
        int third = scanner.peek(2);
        if (second == '<' && third == '>') {
          scanner.consume(3);
          return c == 'E' ? TctlToken::EF : TctlToken::AF;
        }
        if (second == '[' && third == ']') {
          scanner.consume(3);
          return c == 'E' ? TctlToken::EG : TctlToken::AG;
        }
      }
      std::string name = readName();
      if (scanner.peek(0) == '.' && isLetter(scanner.peek(1))) {
        scanner.consume(1);
        std::string member = readName();
        return resolveQualified(name, member);
      }
      TctlToken word = keyword(name);
      return word != TctlToken::BADSYM ? word : resolveName(name);
    }
    // Any other character is skipped without a message (refused when scanning strictly).
    std::size_t length = 1;  // a character of several bytes is refused whole
    if (c >= 0xC0)
      while (length < 4 && scanner.peek(length) >= 0x80 && scanner.peek(length) < 0xC0) ++length;
    if (skipUnknown(length, nullptr)) return TctlToken::BADSYM;
  }
}
}  // namespace
