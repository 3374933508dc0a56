#include "tctl/lexer.h"

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#include "model/process.h"
#include "model/symbol_table.h"
#include "model/system.h"
#include "base/error.h"

namespace {

constexpr int endOfInput = -1;

bool isLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isNameChar(int c) { return isLetter(c) || isDigit(c) || c == '_' || c == '#' || c == '$'; }

}  // namespace

int PropertyScanner::peek(std::size_t k) {
  while (ahead_.size() <= k) {
    if (!source_) return endOfInput;
    int c = source_->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      source_ = nullptr;
      return endOfInput;
    }
    ahead_.push_back(char(c));
  }
  return static_cast<unsigned char>(ahead_[k]);
}

void PropertyScanner::consume(std::size_t n) {
  if (strict_) {
    tokenText_.append(ahead_, 0, n);
    consumed_ += n;
  }
  ahead_.erase(0, n);
}

std::string PropertyScanner::readName() {
  std::string name;
  while (isNameChar(peek(0))) {
    name.push_back(char(peek(0)));
    consume(1);
  }
  return name;
}

namespace {
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
}  // namespace

// Strict scanning: the first refusal, at the token being scanned.
void PropertyScanner::refuse(const std::string& message) {
  if (!strict_ || refusal_.column) return;
  refusal_ = {std::int32_t(tokenStart_) + 1, tokenText_, message};
}

TctlToken PropertyScanner::badName(const std::string& name, const char* why) {
  diagnostics_->stream() << "Bad property: " << name << why;
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
bool PropertyScanner::skipUnknown(std::size_t length, const char* hint) {
  consume(length);
  if (!strict_) return false;
  std::string message = "unexpected '" + tokenText_ + "'";
  if (hint) message += std::string(": ") + hint;
  refuse(message);
  return true;
}

// The token of a constant, clock or integer variable (its value or symbol index in
// value_); BADSYM for any other kind.
TctlToken PropertyScanner::valueToken(const Symbol& symbol) {
  switch (symbol.kind) {
    case constantKind:
      value_ = symbol.extra;
      return TctlToken::NAT;
    case clockKind:
      value_ = symbol.index;
      return TctlToken::CLOCKVAR;
    case integerKind:
      value_ = symbol.index;
      return TctlToken::INTVAR;
    default:
      return TctlToken::BADSYM;
  }
}

// A single name, looked up in the frames that are active now.
TctlToken PropertyScanner::resolveName(const std::string& name) {
  const Symbol& symbol = symbols().find(name.c_str());
  if (!symbol.isFound()) return badName(name, ": undefined symbol.\n");
  TctlToken token = valueToken(symbol);
  if (token != TctlToken::BADSYM) return token;
  return badName(name, ": Illegal entity in query.\n");
}

// process "." name: the name is looked up with the process's frame active.
TctlToken PropertyScanner::resolveQualified(const std::string& process, const std::string& name) {
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
  if (placed && system_) {
    placed = std::int32_t(position) < system_->processCount() &&
             system_->process(std::int32_t(position))->processSymbol() == owner.index;
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
      value_ = std::int32_t((position << 16) | std::uint32_t(symbol.extra));
      processSymbol_ = owner.index;
      locationSymbol_ = symbol.index;
      return TctlToken::LOCATION;
    case constantKind:
    case clockKind:
    case integerKind:
      return valueToken(symbol);
    default:
      diagnostics_->stream() << "Bad property: " << process << '.' << name
                             << ": Illegal entity in query.\n";
      return TctlToken::BADSYM;
  }
}

TctlToken PropertyScanner::relop(std::size_t length, Relop code) {
  consume(length);
  value_ = code;
  return TctlToken::RELOP;
}

TctlToken PropertyScanner::punctuation(TctlToken token) {
  consume(1);
  return token;
}

void PropertyScanner::begin(std::istream& in, Diagnostics& diagnostics, const System* system) {
  source_ = in.rdbuf();
  ahead_.clear();
  diagnostics_ = &diagnostics;
  system_ = system;
  consumed_ = 0;
  last_ = refusal_ = TctlPlace();
}

void PropertyScanner::finish() {
  source_ = nullptr;
  ahead_.clear();
  diagnostics_ = nullptr;
  system_ = nullptr;
}

TctlToken PropertyScanner::next() {
  TctlToken token = scan();
  if (strict_) last_ = {std::int32_t(tokenStart_) + 1, tokenText_, std::string()};
  return token;
}

TctlToken PropertyScanner::scan() {
  value_ = 0;
  for (;;) {
    tokenStart_ = consumed_;
    tokenText_.clear();
    int c = peek(0);
    if (c == endOfInput) return TctlToken::END;
    if (comment_) {
      if (c == '*' && peek(1) == '/') {
        consume(2);
        comment_ = false;
        continue;
      }
      if (c == '\n') diagnostics_->nextLine();
      consume(1);
      continue;
    }
    switch (c) {
      case ' ':
      case '\t':
        consume(1);
        continue;
      case '\n':
        consume(1);
        diagnostics_->nextLine();
        return TctlToken::END_OF_PROPERTY;
      case '/':
        if (peek(1) == '*') {
          consume(2);
          comment_ = true;
          continue;
        }
        if (peek(1) == '/') {
          // Up to and including the line feed, which then does not end the property.
          consume(2);
          for (int d = peek(0); d != endOfInput; d = peek(0)) {
            consume(1);
            if (d == '\n') {
              diagnostics_->nextLine();
              break;
            }
          }
          continue;
        }
        return punctuation(TctlToken::SLASH);
      case '\\':
        if (peek(1) == '\n') {
          consume(2);
          diagnostics_->nextLine();
          continue;
        }
        if (skipUnknown(1, nullptr)) return TctlToken::BADSYM;
        continue;
      case '-':
        if (peek(1) == '-' && peek(2) == '>') {
          consume(3);
          return TctlToken::LEADSTO;
        }
        if (strict_ && peek(1) == '>' && skipUnknown(2, "write 'imply', or '-->' for leads-to"))
          return TctlToken::BADSYM;
        return punctuation(TctlToken::MINUS);
      case '<':
        return peek(1) == '=' ? relop(2, relLessEqual) : relop(1, relLess);
      case '>':
        return peek(1) == '=' ? relop(2, relGreaterEqual) : relop(1, relGreater);
      case '=':
        if (peek(1) == '=') return relop(2, relEqual);
        if (skipUnknown(1, "write '==' to compare")) return TctlToken::BADSYM;
        continue;
      case '!':
        if (peek(1) == '=') return relop(2, relNotEqual);
        if (skipUnknown(1, "write 'not'")) return TctlToken::BADSYM;
        continue;
      case '&':
        if (skipUnknown(peek(1) == '&' ? 2 : 1, "write 'and'")) return TctlToken::BADSYM;
        continue;
      case '|':
        if (skipUnknown(peek(1) == '|' ? 2 : 1, "write 'or'")) return TctlToken::BADSYM;
        continue;
      case '@':
        if (peek(1) == 'F' || peek(1) == 'L') {
          TctlToken token = peek(1) == 'F' ? TctlToken::AT_F : TctlToken::AT_L;
          consume(2);
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
      while (isDigit(peek(0))) {
        value = value * 10 + (peek(0) - '0');
        if (value > INT32_MAX) {
          tooLarge = true;
          value = INT32_MAX;
        }
        consume(1);
      }
      if (tooLarge) return TctlToken::BADSYM;
      value_ = std::int32_t(value);
      return TctlToken::NAT;
    }
    if (isLetter(c)) {
      int second = peek(1);
      if ((c == 'E' || c == 'A') && (second == '<' || second == '[')) {
        int third = peek(2);
        if (second == '<' && third == '>') {
          consume(3);
          return c == 'E' ? TctlToken::EF : TctlToken::AF;
        }
        if (second == '[' && third == ']') {
          consume(3);
          return c == 'E' ? TctlToken::EG : TctlToken::AG;
        }
      }
      std::string name = readName();
      if (peek(0) == '.' && isLetter(peek(1))) {
        consume(1);
        std::string member = readName();
        return resolveQualified(name, member);
      }
      TctlToken word = keyword(name);
      return word != TctlToken::BADSYM ? word : resolveName(name);
    }
    // Any other character is skipped without a message (refused when scanning strictly).
    std::size_t length = 1;  // a character of several bytes is refused whole
    if (c >= 0xC0)
      while (length < 4 && peek(length) >= 0x80 && peek(length) < 0xC0) ++length;
    if (skipUnknown(length, nullptr)) return TctlToken::BADSYM;
  }
}
