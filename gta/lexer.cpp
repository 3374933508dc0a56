#include "gta/lexer.h"

#include <cstring>
#include <ostream>

#include "base/error.h"

namespace {
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameChar(char c) { return isLetter(c) || isDigit(c) || c == '_' || c == '#' || c == '$'; }

struct Keyword {
  const char* text;
  Token token;
};

constexpr Keyword keywords[] = {
    {"assign", Token::ASSIGN},   {"chan", Token::CHAN},     {"clock", Token::CLOCK},
    {"commit", Token::COMMIT},   {"const", Token::CONST},   {"guard", Token::GUARD},
    {"hide", Token::HIDE},       {"init", Token::INIT},     {"int", Token::INT},
    {"process", Token::PROCESS}, {"rate", Token::RATE},     {"state", Token::STATE},
    {"sync", Token::SYNC},       {"system", Token::SYSTEM}, {"trans", Token::TRANS},
    {"urgent", Token::URGENT},
};

// The token of a declared name of the given kind; END when the kind has no token of its own.
Token classified(std::int32_t kind) {
  switch (kind) {
    case constantKind:
      return Token::CONSTNAME;
    case channelKind:
      return Token::CHANNAME;
    case clockKind:
      return Token::CLOCKNAME;
    case integerKind:
      return Token::INTNAME;
    default:
      return Token::END;
  }
}

constexpr std::string_view qualifier = "global.";
}  // namespace

void Lexer::takeName(std::size_t begin, std::size_t end, TokenValue& value) {
  std::size_t length = end - begin;
  if (length > Symbol::nameSize - 1) {
    const char* message = "Identifier too long. Only 64 characters are significant.";
    if (strict_)
      diagnostics_.stream() << diagnostics_.line() << ':' << tokenColumn() << ": " << message
                            << '\n';
    else
      diagnostics_.reportError(message);
    length = Symbol::nameSize - 1;
  }
  std::memcpy(value.text, text_.data() + begin, length);
  value.text[length] = 0;
}

Token Lexer::identifier(TokenValue& value) {
  std::size_t begin = pos_;
  while (pos_ < text_.size() && isNameChar(text_[pos_])) ++pos_;
  std::string_view word(text_.data() + begin, pos_ - begin);
  for (const Keyword& k : keywords)
    if (word == k.text) return k.token;
  takeName(begin, pos_, value);
  const Symbol& symbol = symbols().find(value.text);
  value.number = symbol.index;
  value.kind = symbol.kind;
  value.extra = symbol.extra;
  Token token = classified(symbol.kind);
  return token == Token::END ? Token::IDENT : token;
}

Token Lexer::qualifiedName(TokenValue& value) {
  pos_ += qualifier.size();
  std::size_t begin = pos_;
  while (pos_ < text_.size() && isNameChar(text_[pos_])) ++pos_;
  if (locked_) return Token::ILLEGAL;
  takeName(begin, pos_, value);
  const Symbol& symbol = symbols().findInFrame(value.text, 0);
  Token token = classified(symbol.kind);
  if (token == Token::END || !symbol.isFound()) return Token::ILLEGAL;
  value.number = symbol.index;
  value.kind = symbol.kind;
  value.extra = symbol.extra;
  return token;
}

Token Lexer::next(TokenValue& value) {
  const std::size_t size = text_.size();
  for (;;) {
    tokenStart_ = pos_;
    tokenLine_ = diagnostics_.line();
    if (pos_ >= size) return Token::END;
    char c = text_[pos_];
    if (c == ' ' || c == '\t') {
      ++pos_;
      continue;
    }
    if (c == '\n') {
      ++pos_;
      diagnostics_.nextLine();
      lineStart_ = pos_;
      continue;
    }
    if (c == '/' && pos_ + 1 < size && text_[pos_ + 1] == '/' && !noLineEndAhead_) {
      // A comment runs to its line end; without one, the two slashes are tokens.
      std::size_t end = text_.find('\n', pos_ + 2);
      if (end != std::string::npos) {
        pos_ = end + 1;
        diagnostics_.nextLine();
        lineStart_ = pos_;
        continue;
      }
      noLineEndAhead_ = true;  // so a last line full of slashes is not searched again and again
    }
    break;
  }

  char c = text_[pos_];
  char d = pos_ + 1 < size ? text_[pos_ + 1] : 0;
  if (isLetter(c)) {
    if (text_.compare(pos_, qualifier.size(), qualifier) == 0 && pos_ + qualifier.size() < size &&
        isLetter(text_[pos_ + qualifier.size()]))
      return qualifiedName(value);
    return identifier(value);
  }
  if (isDigit(c)) {
    // Decimal, wrapping modulo 2^32 like the usual conversion into a 32-bit int.
    std::uint32_t n = 0;
    while (pos_ < size && isDigit(text_[pos_])) n = n * 10u + std::uint32_t(text_[pos_++] - '0');
    value.number = std::int32_t(n);
    return Token::NUMBER;
  }
  if (c == '"') {
    std::size_t end = text_.find('"', pos_ + 1);
    if (end == std::string::npos) {
      ++pos_;
      return Token::ILLEGAL;
    }
    pos_ = end + 1;  // line ends inside a string are not counted
    return Token::STRING;
  }

  auto two = [&](Token token) {
    pos_ += 2;
    return token;
  };
  auto one = [&](Token token) {
    pos_ += 1;
    return token;
  };
  switch (c) {
    case '-':
      return d == '>' ? two(Token::ARROW) : one(Token::MINUS);
    case ':':
      return d == '=' ? two(Token::ASSIGN) : one(Token::COLON);
    case '!':
      return d == '=' ? two(Token::NE) : one(Token::BANG);
    case '=':
      if (d == '=') return two(Token::EQ);
      if (d == '>') return two(Token::GE);
      if (d == '<') return two(Token::LE);
      return one(Token::ILLEGAL);
    case '>':
      if (d == '=') return two(Token::GE);
      if (d == '?') return two(Token::MAX);
      return one(Token::GT);
    case '<':
      if (d == '=') return two(Token::LE);
      if (d == '?') return two(Token::MIN);
      return one(Token::LT);
    case '+':
      return d == '=' ? two(Token::PLUSASSIGN) : one(Token::PLUS);
    case ',':
      return one(Token::COMMA);
    case '/':
      return one(Token::SLASH);
    case '{':
      return one(Token::LBRACE);
    case '}':
      return one(Token::RBRACE);
    case '(':
      return one(Token::LPAREN);
    case ')':
      return one(Token::RPAREN);
    case '[':
      return one(Token::LBRACKET);
    case ']':
      return one(Token::RBRACKET);
    case ';':
      return one(Token::SEMICOLON);
    case '?':
      return one(Token::QUESTION);
    case '*':
      return one(Token::STAR);
    default:
      return one(Token::ILLEGAL);
  }
}

const char* Lexer::name(Token token) {
  switch (token) {
    case Token::END:
      return "END";
    case Token::ARROW:
      return "ARROW";
    case Token::ASSIGN:
      return "ASSIGN";
    case Token::BANG:
      return "BANG";
    case Token::COLON:
      return "COLON";
    case Token::CHAN:
      return "CHAN";
    case Token::CLOCKNAME:
      return "CLOCKNAME";
    case Token::CLOCK:
      return "CLOCK";
    case Token::COMMA:
      return "COMMA";
    case Token::CONSTNAME:
      return "CONSTNAME";
    case Token::COMMIT:
      return "COMMIT";
    case Token::CONST:
      return "CONST";
    case Token::SLASH:
      return "SLASH";
    case Token::EQ:
      return "EQ";
    case Token::GE:
      return "GE";
    case Token::GT:
      return "GT";
    case Token::GUARD:
      return "GUARD";
    case Token::HIDE:
      return "HIDE";
    case Token::IDENT:
      return "IDENT";
    case Token::INIT:
      return "INIT";
    case Token::INT:
      return "INT";
    case Token::INTNAME:
      return "INTNAME";
    case Token::LBRACE:
      return "LBRACE";
    case Token::LE:
      return "LE";
    case Token::LPAREN:
      return "LPAREN";
    case Token::LBRACKET:
      return "LBRACKET";
    case Token::LT:
      return "LT";
    case Token::MINUS:
      return "MINUS";
    case Token::NE:
      return "NE";
    case Token::NUMBER:
      return "NUMBER";
    case Token::PLUS:
      return "PLUS";
    case Token::PROCESS:
      return "PROCESS";
    case Token::QUESTION:
      return "QUESTION";
    case Token::RATE:
      return "RATE";
    case Token::RBRACE:
      return "RBRACE";
    case Token::RPAREN:
      return "RPAREN";
    case Token::RBRACKET:
      return "RBRACKET";
    case Token::SEMICOLON:
      return "SEMICOLON";
    case Token::STATE:
      return "STATE";
    case Token::STRING:
      return "STRING";
    case Token::SYNC:
      return "SYNC";
    case Token::SYSTEM:
      return "SYSTEM";
    case Token::STAR:
      return "STAR";
    case Token::TRANS:
      return "TRANS";
    case Token::URGENT:
      return "URGENT";
    case Token::ILLEGAL:
      return "ILLEGAL";
    case Token::CHANNAME:
      return "CHANNAME";
    case Token::MIN:
      return "MIN";
    case Token::MAX:
      return "MAX";
    case Token::PLUSASSIGN:
      return "PLUSASSIGN";
  }
  return "?";
}
