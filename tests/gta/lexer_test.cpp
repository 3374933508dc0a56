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

  // The token names of the whole text, separated by spaces, with a number's value after "=" and
  // a constant's symbol index and value after ":"; lines_ is the line scanning ended on.
  std::string scan(const std::string& text) {
    std::ostringstream sink;
    Diagnostics diagnostics(sink);
    Lexer lexer(text, diagnostics);
    std::string names;
    TokenValue value;
    for (Token t; (t = lexer.next(value)) != Token::END;) {
      names += (names.empty() ? "" : " ") + std::string(Lexer::name(t));
      if (t == Token::NUMBER) names += "=" + std::to_string(value.number);
      if (t == Token::CONSTNAME)
        names += ":" + std::to_string(value.number) + ":" + std::to_string(value.extra);
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
      {"7abc", "NUMBER=7 IDENT"},
      // Identifiers start with a letter; numbers are unsigned decimals that wrap like a 32-bit int.
      {"a_1#$ _a 07 -3 4294967297", "IDENT ILLEGAL IDENT NUMBER=7 MINUS NUMBER=3 NUMBER=1"},
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

TEST_F(LexerTest, NamesAreClassifiedWhenScannedAndLocalOnesShadow) {
  symbols().declare("N", constantKind, 42);
  symbols().declare("c", channelKind, 1);
  symbols().declare("P", processKind, 1);
  symbols().declare("x", clockKind, 1);
  symbols().declare("i", integerKind, 0);
  EXPECT_EQ(scan("N c P x i s"), "CONSTNAME:0:42 CHANNAME IDENT CLOCKNAME INTNAME IDENT");
  EXPECT_EQ(scan("global.i global global.5 Global.i P.i global .i"),
            "INTNAME IDENT IDENT ILLEGAL NUMBER=5 IDENT ILLEGAL INTNAME IDENT ILLEGAL INTNAME "
            "IDENT ILLEGAL INTNAME");
  TokenValue v;
  Lexer("a_1#$ x", diagnostics_).next(v);
  EXPECT_THAT(v.text, StrEq("a_1#$"));

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
