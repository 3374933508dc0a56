#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "tctl/deadlock.h"
#include "tctl/lexer.h"
#include "tests/tctl/fixture.h"

namespace {

class Property : public testing::Test {
 protected:
  void SetUp() override {
    system_ = loadModel(propertyModel);
    ASSERT_TRUE(system_);
  }

  CheckedProperty parse(const std::string& text) { return parsePropertyText(text, system_); }
  // The printed result of an accepted property of the given kind.
  std::string accepted(const std::string& text, int kind) {
    CheckedProperty p = parse(text);
    EXPECT_EQ(p.kind, kind) << text << "\n" << p.diagnostics;
    EXPECT_EQ(p.diagnostics, "") << text;
    EXPECT_TRUE(p.expression) << text;
    return printed(p.expression.get());
  }
  // The diagnostics of a rejected property.
  std::string rejected(const std::string& text) {
    CheckedProperty p = parse(text);
    EXPECT_EQ(p.kind, propertyNone) << text;
    EXPECT_FALSE(p.expression) << text;
    return p.diagnostics;
  }
  // One text read with a session's scanner: "kind printed [diagnostics] line rest", where line
  // is the line the reading ended on and rest the input's next line, which it left unread.
  std::string read(PropertyScanner& scanner, const std::string& text) {
    std::istringstream in(text);
    std::ostringstream sink;
    Diagnostics diagnostics(sink);
    ParsedProperty p = parseProperty(in, system_, scanner, diagnostics);
    std::string rest;
    std::getline(in, rest);
    return std::to_string(p.kind) + " " + printed(p.expression.get()) + " [" + sink.str() + "] " +
           std::to_string(diagnostics.line()) + " " + rest;
  }

  Ref<System> system_;
};

// The kind of each form, and the formula handed on: the negation for A[] and A<>, both sides
// of a leads-to; "quit", the end of the input and an empty line give none.
TEST_F(Property, KindsOfTheForms) {
  for (auto [text, result] :
       {std::pair{"E<> P.s\n", "1 P.s [] 2 "}, {"A[] P.s\n", "0 not P.s [] 2 "},
        {"E[] P.s\n", "2 P.s [] 2 "}, {"A<> P.s\n", "3 not P.s [] 2 "},
        {"P.s --> Q.u\n", "4 (P.s or Q.u) [] 2 "}, {"E<>not P.s\n", "1 not P.s [] 2 "},
        {"quit\n", "5  [] 2 "}, {"", "5  [] 1 "}, {"  // nothing\n", "5  [] 2 "},
        {"\n", "6  [] 2 "}, {"   \n", "6  [] 2 "}, {"\nE<> P.s\n", "6  [] 2 E<> P.s"},
        {"P.s\n", "6  [Bad property\n] 2 "},
        {"quit now\n", "6  [Bad property: now: undefined symbol.\nBad property\n] 2 "}}) {
    PropertyScanner scanner;
    EXPECT_EQ(read(scanner, text), result) << text;
  }
}

TEST_F(Property, DeadlockOnlyInReachabilityAndInvariance) {
  const std::string refused =
      "Bad property: 'deadlock' predicate now allowed in A<>, E[], and --> properties\n";
  CheckedProperty p = parse("A[] not deadlock\n");
  EXPECT_EQ(p.kind, propertyAlways);
  ASSERT_TRUE(p.expression);
  EXPECT_EQ(p.expression->typeCode(), TCTLExpression::deadlockType);
  EXPECT_NE(dynamic_cast<CddDeadlockExpr*>(p.expression.get()), nullptr);
  EXPECT_EQ(accepted("E<> deadlock and P.s\n", propertyReachable), "(deadlock and P.s)");
  // In a leads-to the right side is read while the flag is still set from the left side's start.
  for (const char* text : {"E[] not deadlock\n", "A<> deadlock\n", "deadlock --> P.s\n",
                           "true --> deadlock\n"})
    EXPECT_EQ(rejected(text), refused);
  // The message comes before the scanner reads on; no "Bad property" follows it.
  EXPECT_EQ(
      rejected("E[] deadlock and nix ) nox\n"),
      refused + "Bad property: nix: undefined symbol.\nBad property: nox: undefined symbol.\n");
}

// Reachability properties "E<> text" as the reader builds them (printed), or the diagnostics
// it gives.
TEST_F(Property, ReadAsWrittenOrRefusedWithItsMessage) {
  const std::string bad = "Bad property\n", unknown = ": undefined symbol.\n",
                    undefined = unknown + bad, illegal = ": Illegal entity in query.\n" + bad;
  struct Case {
    std::string text, printed, diagnostics;
  } cases[] = {
      // Clock comparisons; constants name numbers.
      {"x > 3", "x>3", ""}, {"x < y + 2 and x < 5", "(x<y+2 and x<5)", ""},
      {"x >= y - 1", "y<=x+1", ""}, {"x <= y", "x<=y", ""}, {"x < y", "x<y", ""},
      {"x == 3", "(x>=3 and x<=3)", ""}, {"x != y + 1", "(x<y+1 or y<x-1)", ""},
      {"x < N", "x<3", ""}, {"P.z <= 4", "P.z<=4", ""},
      // Integer comparisons keep precedence and left associativity.
      {"- 1 * 2 == i", "((0 - 1) * 2) == i", ""}, {"1 + 2 * 3 != i", "(1 + (2 * 3)) != i", ""},
      {"1 - 2 - 3 < i", "((1 - 2) - 3) < i", ""}, {"8 / 4 / 2 >= i", "((8 / 4) / 2) >= i", ""},
      {"- - i > 0", "(0 - (0 - i)) > 0", ""}, {"a[i + 1] <= N", "a[(i + 1)] <= 3", ""},
      {"((i == 2))", "i == 2", ""}, {"P.j == 0", "P.j == 0", ""},
      {"i == 2147483647", "i == 2147483647", ""},
      // Logical operators.
      {"P.s or P.t and Q.u", "(P.s or (P.t and Q.u))", ""},
      {"P.s and P.t or Q.u", "((P.s and P.t) or Q.u)", ""},
      {"not P.s and P.t", "(not P.s and P.t)", ""},
      {"P.s imply P.t or Q.u", "(not P.s or (P.t or Q.u))", ""},
      {"P.s imply P.t imply Q.u", "(not (not P.s or P.t) or Q.u)", ""},
      {"P.s or P.t or Q.u", "((P.s or P.t) or Q.u)", ""},
      {"not (P.s or P.t)", "not (P.s or P.t)", ""},
      {"(P.s or true) and i < 2", "((P.s or true) and i < 2)", ""},
      {"P.s and x > 1 or i == 0", "((P.s and x>1) or i == 0)", ""},
      // Stray characters, comments and continuations.
      {"P.s ; @ # $ _ ! =", "P.s", ""}, {"P.s\r", "P.s", ""},
      {std::string("P.s \x01\xff") + std::string(1, '\0') + " ", "P.s", ""},
      {"P.s // a comment", "P.s", ""}, {"P.s /* a */ and /* b */ P.t", "(P.s and P.t)", ""},
      {"P.s and /* one\ntwo */ P.t", "(P.s and P.t)", ""},
      {"P.s and \\\n P.t", "(P.s and P.t)", ""}, {"P.s \\ and P.t", "(P.s and P.t)", ""},
      {"P.s // and\nor P.t", "(P.s or P.t)", ""},  // the comment took the line feed
      // Constants beyond what a zone can hold are refused rather than overflowing its bounds.
      {"x - y < 2", "", bad}, {"3 < x", "", bad}, {"x < -3", "", bad}, {"x < 2 + 1", "", bad},
      {"(x) < 2", "", bad}, {"x < i", "", bad}, {"x < 2000000", "", bad},
      {"x < y - 2000000", "", bad}, {"(i == 2) == 3", "", bad}, {"i", "", bad}, {"(i)", "", bad},
      {"i < 2 < 3", "", bad}, {"-(i < 2)", "", bad}, {"P.s and (i)", "", bad},
      {"i == 99999999999", "", bad}, {"P.nothing", "", bad}, {"", "", bad},
      {"P.s P.t", "", bad}, {". P.s", "", bad}, {"@F P.s", "", bad}, {"P.s @L", "", bad},
      {"i = 2", "", bad},  // a lone "=" is skipped
      // One "Bad property" line, and the rest of the line is still scanned.
      {"P.s and ) foo bar", "",
       bad + "Bad property: foo" + unknown + "Bad property: bar" + unknown},
      {"foo and bar ) baz", "",
       "Bad property: foo" + undefined + "Bad property: bar" + unknown + "Bad property: baz" +
           unknown},
      // Names.
      {"false", "", "Bad property: false" + undefined}, {"c", "", "Bad property: c" + illegal},
      {"P", "", "Bad property: P" + illegal},
      {"s", "", "Bad property: s" + undefined},  // P's frame is not active
      {"j == 1", "", "Bad property: j" + undefined},
      {"X.s", "", "Bad property: X: no such process\n" + bad},
      {"x.s", "", "Bad property: x: no such process\n" + bad},
      {"P.c", "", "Bad property: P.c" + illegal}, {"P.Q", "", "Bad property: P.Q" + illegal},
      {"notx", "", "Bad property: notx" + undefined},
      // R is left off the system line: its location must not be tested on slot 0.
      {"R.r", "", "Bad property: R: no such process in system\n" + bad},
      {"P.s or R.r", "", "Bad property: R: no such process in system\n" + bad},
      // Messages are copied verbatim.
      {"%s%n", "", "Bad property: s" + undefined + "Bad property: n" + unknown},
      {std::string(300, 'q'), "", "Bad property: " + std::string(300, 'q') + undefined},
  };
  for (const Case& c : cases) {
    if (c.diagnostics.empty()) {
      EXPECT_EQ(accepted("E<> " + c.text + "\n", propertyReachable), c.printed);
    } else {
      EXPECT_EQ(rejected("E<> " + c.text + "\n"), c.diagnostics) << c.text;
    }
  }
}

// Each session reads with its own scanner: a text that ends inside "/*" leaves that session's
// next text starting inside the comment, and no other session's.
TEST_F(Property, CommentModeCarriesIntoTheSameSessionsNextText) {
  PropertyScanner first, second;
  struct Step {
    PropertyScanner& scanner;
    const char* text;
    const char* result;
  } steps[] = {
      // Continuations, comments and the property's line feed count lines; the next line is
      // left in the input, even after an error.
      {first, "E<> P.s and \\\nP.t /* \n */\nignored\n", "1 (P.s and P.t) [] 4 ignored"},
      {first, "E<> P.s // end", "1 P.s [] 1 "},
      {first, "E<> P.s\nE<> foo\n", "1 P.s [] 2 E<> foo"},
      {second, "E<> ) foo\nbar\n",
       "6  [Bad property\nBad property: foo: undefined symbol.\n] 2 bar"},
      // The text ends inside a comment: the property before it stands.
      {first, "E<> P.s /* open\n", "1 P.s [] 2 "},
      {second, "E<> P.t\n", "1 P.t [] 2 "},
      {first, "E<> P.t */ E<> Q.u\n", "1 Q.u [] 2 "},
      {second, "E<> foo /* open\n",
       "6  [Bad property: foo: undefined symbol.\nBad property\n] 2 "},
      // Still inside at the end of the next text: the end of the input, nothing to check.
      {second, "E<> P.s\n", "5  [] 2 "},
      {first, "E<> P.s\n", "1 P.s [] 2 "},
  };
  for (const Step& step : steps)
    EXPECT_EQ(read(step.scanner, step.text), step.result) << step.text;
  EXPECT_TRUE(second.inComment());
  EXPECT_FALSE(first.inComment());
}

TEST_F(Property, LongestMatchTokens) {
  std::istringstream in("-->--> - -> <= < >= > == != E<A[]E[]A<>E<>x E truex true.s\n");
  std::ostringstream diagnostics;
  Diagnostics sink(diagnostics);
  PropertyScanner scanner;
  scanner.begin(in, sink, system_.get());
  std::vector<TctlToken> tokens;
  for (TctlToken t = scanner.next(); t != TctlToken::END_OF_PROPERTY && t != TctlToken::END;
       t = scanner.next())
    tokens.push_back(t);
  using T = TctlToken;
  EXPECT_EQ(tokens,
            (std::vector<T>{T::LEADSTO, T::LEADSTO, T::MINUS, T::MINUS, T::RELOP, T::RELOP,
                            T::RELOP,   T::RELOP,   T::RELOP, T::RELOP, T::RELOP, T::BADSYM,
                            T::RELOP,   T::AG,      T::EG,    T::AF,    T::EF,    T::CLOCKVAR,
                            T::BADSYM,  T::BADSYM,  T::BADSYM}));
  EXPECT_EQ(diagnostics.str(),
            "Bad property: E: undefined symbol.\nBad property: E: undefined symbol.\n"
            "Bad property: truex: undefined symbol.\nBad property: true: no such process\n");
}

// Nesting is accepted as far as the parse stack reaches (10,000 entries), and refused beyond;
// flat chains of any length are accepted. The trees that come out are evaluated, printed,
// negated, normalized and destroyed without deep recursion.
TEST_F(Property, NestingUpToTheParseStackFlatChainsOfAnyLength) {
  auto repeat = [](const std::string& part, int n) {
    std::string text;
    while (n-- > 0) text += part;
    return text;
  };
  const std::string refused = "Bad property\n";
  for (int depth : {3000, 9000})
    EXPECT_EQ(accepted("E<> " + repeat("(", depth) + "P.s" + repeat(")", depth) + "\n", 1), "P.s");
  for (int depth : {10000, 100000})
    EXPECT_EQ(rejected("E<> " + repeat("(", depth) + "P.s" + repeat(")", depth) + "\n"), refused);
  EXPECT_EQ(rejected("E<> " + repeat("not ", 50000) + "P.s\n"), refused);
  EXPECT_EQ(rejected("E<> " + repeat("-", 50000) + "1 == i\n"), refused);
  EXPECT_EQ(rejected("E<> " + repeat("a[", 20000) + "0" + repeat("]", 20000) + " == 0\n"), refused);
  EXPECT_EQ(parse("E<> " + repeat("a[", 3000) + "0" + repeat("]", 3000) + " == 0\n").kind, 1);

  Ref<GlobalState> start = system_->initialState(true);  // Q.s, P.s, x = y = 0 and waiting
  std::string chain = "P.s" + repeat(" and x < y + 1 and P.s", 10000);
  CheckedProperty p = parse("E<> " + chain + "\n");
  ASSERT_TRUE(p.expression) << p.diagnostics;
  EXPECT_TRUE(p.expression->satisfiedBy(start.get()));
  Ref<TCTLExpression> negation = p.expression->negate();
  EXPECT_FALSE(negation->satisfiedBy(start.get()));
  EXPECT_EQ(printed(negation->normalize().get()).size(), printed(negation.get()).size());
  EXPECT_EQ(disjunctiveNormalForm(p.expression.get()).at(0).size(), 20001u);
  p = parse("E<> " + repeat("not ", 9000) + "(P.t" + repeat(" or P.t", 10000) + " or x > y)\n");
  ASSERT_TRUE(p.expression) << p.diagnostics;
  EXPECT_FALSE(p.expression->satisfiedBy(start.get()));  // an even count of "not"; x == y
  EXPECT_EQ(parse("E<> 0" + repeat(" + 1", 10000) + " == i\n").kind, propertyReachable);
  // Disjunctions that the zone decides cost no search over their combinations.
  p = parse("E<> " + repeat("(x < 5 or y < 5) and ", 3000) + "x > 5 and y > 5\n");
  ASSERT_TRUE(p.expression) << p.diagnostics;
  EXPECT_FALSE(p.expression->satisfiedBy(start.get()));
}

TEST_F(Property, AnyLineGivesAResultOrDiagnostics) {
  const char* pieces[] = {
      "E<>", "A[]",   "E[]",  "A<>",      "-->",  "(",   ")",   "[",   "]",  "not", "and",
      "or",  "imply", "true", "deadlock", "quit", "P.s", "Q.u", "R.r", "x",  "y",   "i",
      "a",   "N",     "3",    "-",        "+",    "*",   "/",   "<",   "<=", "==",  "!=",
      ">",   "/*",    "*/",   "//",       "\\\n", "foo", ".",   "@F",  "\t", "P.",  "99999999999"};
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int length = int(random() % 12);
    for (int k = 0; k < length; ++k) {
      text += pieces[random() % std::size(pieces)];
      if (random() % 2) text += ' ';
    }
    text += '\n';
    CheckedProperty p = parse(text);
    ASSERT_TRUE(p.kind >= propertyAlways && p.kind <= propertyNone);
    EXPECT_EQ(p.kind <= propertyLeadsTo, bool(p.expression)) << text;
    std::istringstream lines(p.diagnostics);
    int badLines = 0;
    for (std::string line; std::getline(lines, line);) {
      EXPECT_THAT(line, testing::StartsWith("Bad property")) << text;
      badLines += line == "Bad property" || line.find("'deadlock'") != std::string::npos;
    }
    EXPECT_LE(badLines, 1) << text;
    if (p.expression) {
      EXPECT_EQ(p.diagnostics, "") << text;
    }
  }
  std::mt19937 bytes(11);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    int length = int(bytes() % 40);
    for (int k = 0; k < length; ++k) text += char(bytes() % 256);
    CheckedProperty p = parse(text);
    EXPECT_EQ(p.kind <= propertyLeadsTo, bool(p.expression));
  }
}

}  // namespace
