#include "gta/lexer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "model/symbol_table.h"

using testing::StrEq;

namespace {

// A fresh symbol table; each scan has diagnostics of its own.
class LexerTest : public testing::Test {
 protected:
  LexerTest() { symbols() = SymbolTable(); }
  ~LexerTest() override { symbols() = SymbolTable(); }

  // The token names of the whole text, separated by spaces; lines_ is the line scanning ended on.
  std::string scan(const std::string& text) {
    std::ostringstream sink;
    Diagnostics diagnostics(sink);
    Lexer lexer(text, diagnostics);
    std::string names;
    TokenValue value;
    for (Token t; (t = lexer.next(value)) != Token::END;) {
      if (!names.empty()) names += ' ';
      names += Lexer::name(t);
    }
    lines_ = diagnostics.line();
    return names;
  }

  std::int32_t lines_ = 0;
  std::ostringstream sink_;
  Diagnostics diagnostics_{sink_};
};

TEST_F(LexerTest, TokensOfTextsAndTheLinesTheyTake) {
  struct Case {
    std::string text;
    const char* tokens;
    std::int32_t lines = 1;
  } cases[] = {
      // Operators take the longest match.
      {"x=>y", "IDENT GE IDENT"},
      {"=", "ILLEGAL"},
      {"-=", "MINUS ILLEGAL"},
      {"-> := ! : , / == >= => > { <= =< ( [ < - != + ? } ) ] ; *",
       "ARROW ASSIGN BANG COLON COMMA SLASH EQ GE GE GT LBRACE LE LE LPAREN LBRACKET LT "
       "MINUS NE PLUS QUESTION RBRACE RPAREN RBRACKET SEMICOLON STAR"},
      {"<? >? += <?>?", "MIN MAX PLUSASSIGN MIN MAX"},
      {"->-", "ARROW MINUS"},
      {"<==", "LE ILLEGAL"},
      // Keywords are whole words.
      {"assign chan clock commit const guard hide init int process rate state sync system trans "
       "urgent",
       "ASSIGN CHAN CLOCK COMMIT CONST GUARD HIDE INIT INT PROCESS RATE STATE SYNC SYSTEM TRANS "
       "URGENT"},
      {"urgentx Init integer", "IDENT IDENT IDENT"},
      {"7abc", "NUMBER IDENT"},
      // Only blanks, tabs and line ends are skipped; line ends and comments count lines.
      {"a\tb  c", "IDENT IDENT IDENT"},
      {"a\rb", "IDENT ILLEGAL IDENT"},
      {"a\vb\fc", "IDENT ILLEGAL IDENT ILLEGAL IDENT"},
      {std::string("a\0b", 3), "IDENT ILLEGAL IDENT"},
      {"\xff\x80 . @ ` ~ ^ % & | \\ '",
       "ILLEGAL ILLEGAL ILLEGAL ILLEGAL ILLEGAL ILLEGAL ILLEGAL ILLEGAL ILLEGAL ILLEGAL ILLEGAL "
       "ILLEGAL"},
      {"a\nb // comment ; } \n\nc", "IDENT IDENT IDENT", 4},
      // A comment without a line end is two slashes.
      {"a // b", "IDENT SLASH SLASH IDENT"},
      {"a\n////", "IDENT SLASH SLASH SLASH SLASH", 2},
      // Strings span lines without counting them.
      {"a \"one\ntwo\" b", "IDENT STRING IDENT"},
      {"\"\" \"unterminated", "STRING ILLEGAL IDENT"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(scan(c.text), c.tokens) << c.text;
    EXPECT_EQ(lines_, c.lines) << c.text;
  }
}

TEST_F(LexerTest, IdentifiersStartWithALetterAndNumbersAreUnsignedDecimals) {
  Lexer lexer("a_1#$ _a 07 -3 4294967297", diagnostics_);
  TokenValue v;
  EXPECT_EQ(lexer.next(v), Token::IDENT);
  EXPECT_THAT(v.text, StrEq("a_1#$"));
  EXPECT_EQ(lexer.next(v), Token::ILLEGAL);
  EXPECT_EQ(lexer.next(v), Token::IDENT);
  EXPECT_EQ(lexer.next(v), Token::NUMBER);
  EXPECT_EQ(v.number, 7);
  EXPECT_EQ(lexer.next(v), Token::MINUS);
  EXPECT_EQ(lexer.next(v), Token::NUMBER);
  EXPECT_EQ(lexer.next(v), Token::NUMBER);  // no overflow check: wraps like a 32-bit int
  EXPECT_EQ(v.number, 1);
  EXPECT_EQ(lexer.next(v), Token::END);
  EXPECT_EQ(lexer.next(v), Token::END);
}

TEST_F(LexerTest, NamesAreClassifiedWhenScannedAndLocalOnesShadow) {
  symbols().declare("N", constantKind, 42);
  symbols().declare("c", channelKind, 1);
  symbols().declare("P", processKind, 1);
  symbols().declare("x", clockKind, 1);
  symbols().declare("i", integerKind, 0);
  EXPECT_EQ(scan("N c P x i s"), "CONSTNAME CHANNAME IDENT CLOCKNAME INTNAME IDENT");
  EXPECT_EQ(scan("global.i global global.5 Global.i P.i global .i"),
            "INTNAME IDENT IDENT ILLEGAL NUMBER IDENT ILLEGAL INTNAME IDENT ILLEGAL INTNAME IDENT "
            "ILLEGAL INTNAME");
  Lexer lexer("N x", diagnostics_);
  TokenValue v;
  ASSERT_EQ(lexer.next(v), Token::CONSTNAME);
  EXPECT_EQ(v.number, 0);  // the symbol index
  EXPECT_EQ(v.extra, 42);  // the value
  ASSERT_EQ(lexer.next(v), Token::CLOCKNAME);
  EXPECT_THAT(v.text, StrEq("x"));

  symbols().newFrame();
  symbols().declare("x", integerKind, 0);
  symbols().declare("s", stateKind, 0);
  EXPECT_EQ(scan("x global.x s global.s global.y"), "INTNAME CLOCKNAME IDENT ILLEGAL ILLEGAL");
  symbols().popFrame();
  EXPECT_EQ(scan("x s"), "CLOCKNAME IDENT");
}

TEST_F(LexerTest, LongNamesAreCutWithAWarning) {
  std::string name63(63, 'a'), name64 = name63 + "b";
  Lexer lexer(name63 + "\n" + name64 + " global." + name64, diagnostics_);
  TokenValue v;
  EXPECT_EQ(lexer.next(v), Token::IDENT);
  EXPECT_EQ(sink_.str(), "");
  EXPECT_EQ(lexer.next(v), Token::IDENT);
  EXPECT_EQ(std::string(v.text), name63);
  const std::string warning =
      "Error at line 2 : Identifier too long. Only 64 characters are significant.\n";
  EXPECT_EQ(sink_.str(), warning);
  symbols().declare(name63.c_str(), integerKind, 0);
  EXPECT_EQ(lexer.next(v), Token::INTNAME);  // the qualified form is cut the same way
  EXPECT_EQ(sink_.str(), warning + warning);
}

TEST_F(LexerTest, ScansLongTextsInLinearTime) {
  // A last line of slashes must not search for a line end at every pair.
  Lexer lexer(std::string(400000, '/'), diagnostics_);
  TokenValue v;
  int count = 0;
  while (lexer.next(v) != Token::END) ++count;
  EXPECT_EQ(count, 400000);
}

}  // namespace
