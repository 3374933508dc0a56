// The command line of quorix-verify.
#include "verify/options.h"

#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"

using testing::ElementsAre;
using testing::HasSubstr;

TEST(CommandLineOptions, EveryValueInBothSpellings) {
  CommandLine line;
  ASSERT_EQ(parseCommandLine({"--order", "dfs", "--reduction=2", "--representation", "hull",
                              "--reuse", "--active-clocks", "--trace", "--json", "--dot=g.dot",
                              "--time-limit", "1.5", "--memory-limit=64", "m.gta", "q.q"},
                             line),
            "");
  EXPECT_TRUE(line.depthFirst);
  EXPECT_EQ(line.reduction, 2);
  EXPECT_EQ(line.representation, 3);
  EXPECT_TRUE(line.reuse && line.activeClocks && line.trace && line.json);
  EXPECT_EQ(line.dotFile, "g.dot");
  EXPECT_EQ(line.timeLimit, 1.5);
  EXPECT_EQ(line.memoryLimit, 64);
  EXPECT_EQ(line.modelFile, "m.gta");
  EXPECT_EQ(line.queriesFile, "q.q");

  const char* names[] = {"full", "packed", "bitstate", "hull"};
  for (int k = 0; k < 4; ++k) {
    CommandLine each;
    ASSERT_EQ(parseCommandLine({"--representation", names[k], "m"}, each), "");
    EXPECT_EQ(each.representation, k) << names[k];
  }
  CommandLine order;
  ASSERT_EQ(parseCommandLine({"--order=dfs", "--order=bfs", "m"}, order), "");
  EXPECT_FALSE(order.depthFirst) << "the last value counts";
}

TEST(CommandLineOptions, QueriesKeepTheirOrderAndDoubleDashEndsTheOptions) {
  CommandLine line, dash, lone;
  ASSERT_EQ(
      parseCommandLine({"-q", "E<> P.a", "m.gta", "--query", "-- weird", "-q", "A[] x"}, line), "");
  EXPECT_THAT(line.queryOptions, ElementsAre("E<> P.a", "-- weird", "A[] x"));
  EXPECT_EQ(line.modelFile, "m.gta");
  ASSERT_EQ(parseCommandLine({"--", "--trace"}, dash), "");
  EXPECT_EQ(dash.modelFile, "--trace");
  EXPECT_FALSE(dash.trace);
  ASSERT_EQ(parseCommandLine({"-"}, lone), "") << "a lone dash is a file name";
  EXPECT_EQ(lone.modelFile, "-");
}

TEST(CommandLineOptions, UsageErrorsAreNamed) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"-x", "m"}, "unknown option '-x'"},
      {{"--order", "up", "m"}, "bad value 'up' for --order"},
      {{"--reduction", "3", "m"}, "bad value '3' for --reduction"},
      {{"--reduction", "", "m"}, "bad value '' for --reduction"},
      {{"--representation", "Full", "m"}, "bad value 'Full' for --representation"},
      {{"m", "--order"}, "option '--order' needs a value"},
      {{"m", "-q"}, "option '-q' needs a property"},
      {{"m", "--dot"}, "option '--dot' needs a file name"},
      {{"--dot=", "m"}, "option '--dot' needs a file name"},
      {{"--trace=1", "m"}, "option '--trace' takes no value"},
      {{"--time-limit", "0", "m"}, "bad value '0' for --time-limit"},
      {{"--time-limit", "-1", "m"}, "bad value '-1' for --time-limit"},
      {{"--time-limit", "5s", "m"}, "bad value '5s' for --time-limit"},
      {{"--time-limit", "nan", "m"}, "bad value 'nan' for --time-limit"},
      {{"--memory-limit", "1.5", "m"}, "bad value '1.5' for --memory-limit"},
      {{"m", "--memory-limit"}, "option '--memory-limit' needs a number of MiB"},
  };
  for (const Case& c : cases) {
    CommandLine line;
    EXPECT_THAT(parseCommandLine(c.args, line), HasSubstr(c.message))
        << testing::PrintToString(c.args);
  }
}
