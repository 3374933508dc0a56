// End-to-end runs of quorix-verify: verdicts, exit statuses, outputs, traces and bad input.
#include "run.h"

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"

using testing::AllOf;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;
using testing::StartsWith;

namespace {

std::string example(const std::string& name) { return sourcePath("examples/" + name); }
std::string model(const std::string& name) { return sourcePath("tests/verify/models/" + name); }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Every match of the pattern's groups in the text, group after group.
std::vector<std::string> fields(const std::string& text, const char* pattern) {
  std::vector<std::string> out;
  std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
       ++it)
    for (std::size_t g = 1; g < it->size(); ++g) out.push_back((*it)[g].str());
  return out;
}

// The verdict letters of a --json run.
std::vector<std::string> verdicts(const RunResult& run) {
  return fields(run.out, "\"verdict\":\"(.)\"");
}

// A --json output with the time and memory figures, which vary, replaced by S and M.
std::string withoutFigures(const std::string& text) {
  static const std::regex figures("\"seconds\":[0-9.]+,\"peakMemoryKB\":[0-9]+");
  return std::regex_replace(text, figures, "\"seconds\":S,\"peakMemoryKB\":M");
}

// The verdict letters the server answers for the properties, with the given option lines.
std::vector<std::string> serverVerdicts(const std::string& modelPath,
                                        const std::vector<std::string>& properties,
                                        const std::vector<std::string>& options) {
  std::string input = "setOptions\n";
  for (const std::string& option : options) input += option + "\n";
  input += ".\nnewSystem\n" + readWholeFile(modelPath) + "\n.\n";
  for (const std::string& property : properties) input += "modelCheck\n" + property + "\n.\n";
  input += "quit\n";
  RunResult run = runProgram(QUORIX_SERVER_PATH, {}, input);
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> reply = lines(run.out);
  // Greeting (2 lines), setOptions (2), newSystem (4), then 5 lines per check without traces.
  std::vector<std::string> letters;
  for (std::size_t at = 8; at + 1 < reply.size(); at += 5) {
    EXPECT_EQ(reply[at], "ok") << run.out;
    letters.push_back(reply[at + 1]);
  }
  EXPECT_EQ(letters.size(), properties.size()) << run.out;
  return letters;
}

// The properties of a queries file as the verifier reads them.
std::vector<std::string> queries(const std::string& path) {
  std::vector<std::string> out;
  for (const std::string& line : lines(readWholeFile(path)))
    if (!line.empty() && line.compare(0, 2, "//") != 0) out.push_back(line);
  return out;
}

// The output without the statistics lines, whose numbers and times vary.
std::string withoutStatistics(const std::string& text) {
  static const std::regex statistics("    [0-9]+ states? explored, [^\n]*\n");
  return std::regex_replace(text, statistics, "");
}

}  // namespace

TEST(ExampleModels, VerdictsAndExitStatus) {
  RunResult fischer = runVerify({example("fischer.gta"), example("fischer.q")});
  EXPECT_EQ(fischer.status, 1) << fischer.err;
  EXPECT_THAT(fischer.err, IsEmpty()) << "no progress line when standard error is no terminal";
  std::vector<std::string> out = lines(fischer.out);
  ASSERT_EQ(out.size(), 6u * 3 + 1) << fischer.out;
  const char* expected[] = {"satisfied", "satisfied", "satisfied",
                            "satisfied", "satisfied", "not satisfied"};
  std::vector<std::string> texts = queries(example("fischer.q"));
  for (std::size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(out[3 * k], texts[k]);
    EXPECT_EQ(out[3 * k + 1], std::string("    ") + expected[k]) << texts[k];
    EXPECT_THAT(out[3 * k + 2],
                testing::MatchesRegex("    [0-9]+ states? explored, [0-9]+ stored, [0-9]+\\.[0-9]+ "
                                      "s, peak memory [0-9]+\\.[0-9] MB"));
  }
  EXPECT_EQ(out.back(), "6 properties: 5 satisfied, 1 not satisfied");

  RunResult train = runVerify({example("train_crossing.gta"), example("train_crossing.q")});
  EXPECT_EQ(train.status, 0) << train.err;
  EXPECT_EQ(lines(train.out).back(), "5 properties: 5 satisfied, 0 not satisfied");

  RunResult scheduler = runVerify({"--json", example("scheduler.gta"), example("scheduler.q")});
  EXPECT_EQ(scheduler.status, 0) << scheduler.err;
  EXPECT_THAT(verdicts(scheduler), ElementsAre("T", "T", "T"));
}

TEST(ExampleModels, BenchmarkModelGivesItsExpectedVerdict) {
  RunResult run = runVerify({"--json", model("fischer_3.gta"), model("fischer.q")});
  EXPECT_EQ(run.status, 1) << run.err;
  std::vector<std::string> expected = lines(readWholeFile(model("fischer.expected")));
  EXPECT_THAT(verdicts(run), ElementsAreArray(expected));
}

TEST(ExampleModels, AnswersAreTheServersUnderEveryOption) {
  struct Setting {
    std::vector<std::string> flags;
    std::vector<std::string> options;
  } settings[] = {
      {{}, {}},
      {{"--order", "dfs", "--reduction", "0"}, {"order 1", "reduction 0"}},
      {{"--reduction", "2", "--representation", "packed"}, {"reduction 2", "representation 1"}},
      {{"--representation", "hull"}, {"representation 3"}},
      {{"--reuse", "--active-clocks"}, {"reuse T", "activeClocks T"}},
  };
  std::vector<std::string> properties = queries(example("train_crossing.q"));
  properties.push_back("E[] Gate.Up");
  properties.push_back("A<> Gate.Down");
  properties.push_back("E<> Train1.In and Train2.In");
  for (const Setting& setting : settings) {
    std::vector<std::string> args = setting.flags;
    args.push_back("--json");
    args.push_back(example("train_crossing.gta"));
    for (const std::string& property : properties) {
      args.push_back("-q");
      args.push_back(property);
    }
    RunResult run = runVerify(args);
    EXPECT_EQ(verdicts(run).size(), properties.size()) << run.err;
    EXPECT_EQ(verdicts(run),
              serverVerdicts(example("train_crossing.gta"), properties, setting.options))
        << testing::PrintToString(setting.flags);
  }
  // Bit-state hashing applies no inclusion, so it explores many zones: a small model only.
  std::vector<std::string> handshake = {"E<> B.t1", "E<> A.s0 and B.t1", "A[] n <= 1",
                                        "E[] A.s0", "A<> B.t1",          "A.s0 --> B.t1"};
  std::vector<std::string> args = {"--json", "--representation", "bitstate",
                                   model("handshake.gta")};
  for (const std::string& property : handshake) {
    args.push_back("-q");
    args.push_back(property);
  }
  std::vector<std::string> hashed = verdicts(runVerify(args));
  EXPECT_THAT(hashed, ElementsAre("T", "M", "M", "M", "M", "M"));
  EXPECT_EQ(hashed, serverVerdicts(model("handshake.gta"), handshake, {"representation 2"}));

  RunResult fischer = runVerify(
      {"--json", "--order", "dfs", "--reuse", example("fischer.gta"), example("fischer.q")});
  EXPECT_EQ(verdicts(fischer), serverVerdicts(example("fischer.gta"), queries(example("fischer.q")),
                                              {"order 1", "reuse T"}));
}

TEST(ExampleModels, ApproximationsAnswerMaybe) {
  RunResult bitstate = runVerify(
      {"--representation", "bitstate", model("handshake.gta"), "-q", "E<> A.s0 and B.t1"});
  EXPECT_EQ(bitstate.status, 3);
  EXPECT_THAT(bitstate.out, HasSubstr("\n    maybe satisfied (approximation)\n"));
  EXPECT_THAT(bitstate.out,
              HasSubstr("1 property: 0 satisfied, 0 not satisfied, 1 maybe satisfied"));
  RunResult hull =
      runVerify({"--json", "--representation", "hull", example("fischer.gta"), "-q", "E<> P1.cs"});
  EXPECT_EQ(hull.status, 3);
  EXPECT_THAT(verdicts(hull), ElementsAre("M"));
}

TEST(Output, ReadableTraceOfASynchronisation) {
  RunResult run = runVerify({"--trace", model("handshake.gta"), "-q", "E<> B.t1"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(withoutStatistics(run.out),
            "E<> B.t1\n"
            "    satisfied\n"
            "    trace, 1 step:\n"
            "      start\n"
            "        locations  A.s0, B.t0\n"
            "        clocks     A.x <= 2\n"
            "        variables  n = 0\n"
            "      step 1: A: s0 -> s1 { guard 1<=A.x; sync go!; assign n := 1; }\n"
            "              B: t0 -> t1 { sync go?; }\n"
            "        locations  A.s1, B.t1\n"
            "        clocks     A.x >= 1\n"
            "        variables  n = 1\n"
            "1 property: 1 satisfied, 0 not satisfied\n");
}

TEST(Output, TracesOnlyForWitnessesAndCounterexamples) {
  RunResult run =
      runVerify({"--trace", model("handshake.gta"), "-q", "A[] n <= 1", "-q", "A[] n == 0"});
  EXPECT_EQ(run.status, 1);
  std::string out = withoutStatistics(run.out);
  EXPECT_THAT(out, StartsWith("A[] n <= 1\n    satisfied\nA[] n == 0\n    not satisfied\n"
                              "    trace, 1 step:\n"));
}

TEST(Output, LivenessLoopIsMarked) {
  RunResult cycle = runVerify({"--trace", model("cycle.gta"), "-q", "E[] P.a or P.b"});
  EXPECT_EQ(cycle.status, 0);
  EXPECT_EQ(withoutStatistics(cycle.out),
            "E[] P.a or P.b\n"
            "    satisfied\n"
            "    trace, 2 steps:\n"
            "      start\n"
            "        locations  P.a\n"
            "        clocks     P.x <= 1\n"
            "      loop: the following 2 steps repeat forever\n"
            "      step 1: P: a -> b { guard P.x<=1, 1<=P.x; assign P.x:=0; }\n"
            "        locations  P.b\n"
            "        clocks     P.x <= 1\n"
            "      step 2: P: b -> a { guard P.x<=1, 1<=P.x; assign P.x:=0; }\n"
            "        locations  P.a\n"
            "        clocks     P.x <= 1\n"
            "1 property: 1 satisfied, 0 not satisfied\n");

  // Fischer's processes may wait for ever once both have written: no loop, the run stays.
  RunResult stuck = runVerify({"--trace", example("fischer.gta"), "-q", "P1.req --> P1.cs"});
  EXPECT_EQ(stuck.status, 1);
  EXPECT_THAT(stuck.out, HasSubstr("      the run stays in the last state forever\n"));
  EXPECT_THAT(stuck.out, Not(HasSubstr("loop:")));
}

TEST(Output, JsonObjectPerProperty) {
  RunResult run = runVerify({"--json", "--trace", example("train_crossing.gta"), "-q",
                             "A[] not deadlock", "-q", "E<> Train1.Near and Train2.Near"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(withoutFigures(run.out),
            R"({"text":"A[] not deadlock","source":"-q","kind":"A[]","verdict":"T","result":"satisfied",)"
            R"("statistics":{"explored":73,"stored":73,"seconds":S,"peakMemoryKB":M},"trace":null})" "\n"
            R"({"text":"E<> Train1.Near and Train2.Near","source":"-q","kind":"E<>","verdict":"T",)"
            R"("result":"satisfied","statistics":{"explored":4,"stored":4,"seconds":S,"peakMemoryKB":M},)"
            R"("trace":{"start":{"locations":["Train1.Far","Train2.Far","Gate.Up"],)"
            R"("clocks":["Train1.x == Train2.x","Train1.x == Gate.y"],"variables":{"near":0}},)"
            R"("steps":[{"loop":false,"transitions":[{"process":"Train1","source":"Far","target":"Near",)"
            R"("labels":"{ sync appr!; assign Train1.x:=0; }"},{"process":"Gate","source":"Up",)"
            R"("target":"Lowering","labels":"{ sync appr?; assign Gate.y:=0, near := (near + 1); }"}],)"
            R"("state":{"locations":["Train1.Near","Train2.Far","Gate.Lowering"],)"
            R"("clocks":["Train1.x == Gate.y","Train1.x <= 1","Train1.x <= Train2.x"],)"
            R"("variables":{"near":1}}},{"loop":false,"transitions":[{"process":"Train2","source":"Far",)"
            R"("target":"Near","labels":"{ sync appr!; assign Train2.x:=0; }"},{"process":"Gate",)"
            R"("source":"Lowering","target":"Lowering","labels":"{ sync appr?; assign near := (near + 1); }"}],)"
            R"("state":{"locations":["Train1.Near","Train2.Near","Gate.Lowering"],)"
            R"("clocks":["Train1.x == Gate.y","Train1.x <= 1","Train1.x >= Train2.x"],)"
            R"("variables":{"near":2}}}]}})" "\n");

  RunResult loop = runVerify({"--json", "--trace", model("cycle.gta"), "-q", "E[] P.a or P.b"});
  EXPECT_EQ(fields(loop.out, "\"loop\":(true|false)"), (std::vector<std::string>{"true", "true"}));
  RunResult plain = runVerify({"--json", model("cycle.gta"), "-q", "P.a --> P.b"});
  EXPECT_THAT(plain.out, AllOf(HasSubstr("\"kind\":\"-->\""), Not(HasSubstr("\"trace\""))))
      << "traces appear only with --trace";
}

TEST(Output, StatisticsCountTheStatesOfEachSearch) {
  // The handshake has two symbolic states: before and after the synchronisation. A[] explores
  // the whole state space; E<> B.t0 stops at the start state; E[] reaches s1, where time
  // diverges. Leads-to: the two states of the exploration, and the liveness search for a run
  // avoiding B.t1 from the start state, which examines that state alone in a passed list of
  // its own: its only successor lies in B.t1.
  RunResult run = runVerify({"--json", model("handshake.gta"), "-q", "A[] n <= 1", "-q", "E<> B.t0",
                             "-q", "E[] A.s0 or A.s1", "-q", "A.s0 --> B.t1"});
  EXPECT_EQ(fields(run.out, "\"explored\":([0-9]+),\"stored\":([0-9]+)"),
            (std::vector<std::string>{"2", "2", "1", "1", "2", "2", "3", "3"}))
      << run.err;
}

TEST(Output, QueriesFromFileThenFromOptions) {
  std::string path = tempPath("q.q");
  writeWholeFile(path, "// comment\r\n\r\nE<> P1.cs\r\n  A[] not deadlock  \n");
  RunResult run = runVerify({"--json", example("fischer.gta"), path, "-q", "E<> P2.cs"});
  EXPECT_EQ(fields(run.out, "\"text\":\"([^\"]*)\",\"source\":\"([^\"]*)\""),
            (std::vector<std::string>{"E<> P1.cs", path + ":3", "A[] not deadlock", path + ":4",
                                      "E<> P2.cs", "-q"}));
  std::remove(path.c_str());
}

TEST(Output, ModelWithCarriageReturnsReadsAsWithout) {
  std::string text = readWholeFile(example("train_crossing.gta")), crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::string path = tempPath("crlf.gta");
  writeWholeFile(path, crlf);
  RunResult run = runVerify({"--json", path, example("train_crossing.q")});
  EXPECT_EQ(
      verdicts(run),
      verdicts(runVerify({"--json", example("train_crossing.gta"), example("train_crossing.q")})));
  std::remove(path.c_str());
}

TEST(Output, ModelWithoutPropertiesIsOnlyRead) {
  RunResult run = runVerify({example("fischer.gta")});
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.out, HasSubstr("was read: 3 processes, 3 clocks, 1 integer variable;"));
}

TEST(Output, DotGraphOfTheNetwork) {
  std::string path = tempPath("net.dot");
  RunResult run = runVerify({"--dot", path, example("train_crossing.gta")});
  EXPECT_EQ(run.status, 0) << run.err;
  std::string dot = readWholeFile(path);
  EXPECT_THAT(dot, StartsWith("digraph network {\n"));
  EXPECT_THAT(
      dot, AllOf(HasSubstr("subgraph cluster_0 {\n    label=\"Train1\";"),
                 HasSubstr("subgraph cluster_2 {\n    label=\"Gate\";"),
                 HasSubstr("p2_3 [label=\"Check\\n(committed)\", peripheries=2];"),
                 HasSubstr("p0_1 [label=\"Near\\nTrain1.x<=5\"];"), HasSubstr("p2_init -> p2_0;"),
                 HasSubstr("p2_3 -> p2_0 [label=\"near == 0\"];"),
                 HasSubstr("p0_0 -> p0_1 [label=\"appr!\\nTrain1.x:=0\"];")));
  EXPECT_EQ(dot.back(), '\n');
  std::remove(path.c_str());

  RunResult bad = runVerify({"--dot", "/nonexistent-dir/x.dot", example("train_crossing.gta")});
  EXPECT_EQ(bad.status, 2);
  EXPECT_THAT(bad.err, HasSubstr("cannot write '/nonexistent-dir/x.dot'"));
}

TEST(BadInput, UnreadableOrRejectedModels) {
  RunResult missing = runVerify({"/nonexistent/model.gta"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(
      missing.err,
      "quorix-verify: cannot read model '/nonexistent/model.gta': No such file or directory\n");
  EXPECT_THAT(missing.out, IsEmpty());

  RunResult directory = runVerify({sourcePath("examples")});
  EXPECT_EQ(directory.status, 2);

  std::string path = tempPath("bad.gta");
  writeWholeFile(path,
                 "// fine\nprocess P {\n  state a; init a;\n  trans a -> b { };\n}\nsystem P;\n");
  RunResult rejected = runVerify({path, "-q", "E<> P.a"});
  EXPECT_EQ(rejected.status, 2);
  EXPECT_THAT(lines(rejected.err),
              ElementsAre(path + ":4:14: Transition destination is not a state: 'b'",
                          "quorix-verify: the model in '" + path + "' was rejected"));
  EXPECT_THAT(rejected.out, IsEmpty());

  std::string garbage;
  for (int k = 0; k < 2000; ++k) garbage += char((k * 7919 + 13) % 256);
  writeWholeFile(path, garbage);
  RunResult binary = runVerify({path});
  EXPECT_EQ(binary.status, 2) << binary.err;
  writeWholeFile(path, "");
  EXPECT_EQ(runVerify({path}).status, 2) << "an empty text is no model";
  std::remove(path.c_str());
}

TEST(BadInput, RejectedPropertiesArePlacedAndTheRestIsChecked) {
  RunResult run = runVerify(
      {example("fischer.gta"), "-q", "E<> P1.cs", "-q", "E<> P1.", "-q", "A[] (", "-q", "quit"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(withoutStatistics(run.out),
              "E<> P1.cs\n    satisfied\n4 properties: 1 satisfied, 0 not satisfied, 3 rejected\n");
  EXPECT_EQ(run.err,
            "-q 1:5: 'P1' cannot be used here\n    E<> P1.\n        ^\n"
            "-q 1:6: unexpected end of property\n    A[] (\n         ^\n"
            "-q 1:1: 'quit' is not a property\n    quit\n    ^\n");

  std::string path = tempPath("bad.q");
  writeWholeFile(path, "E<> P1.cs\n\nE<> P9.cs\n");
  RunResult file = runVerify({example("fischer.gta"), path});
  EXPECT_EQ(file.status, 2);
  EXPECT_THAT(file.err, StartsWith(path + ":3:5: 'P9' cannot be used here\n"));
  std::remove(path.c_str());

  RunResult twoLines = runVerify({example("fischer.gta"), "-q", "E<> P1.cs\nE<> P2.cs"});
  EXPECT_EQ(twoLines.status, 2);
  EXPECT_THAT(twoLines.err, HasSubstr("A property is one line."));

  RunResult carriageReturn = runVerify({"--json", example("fischer.gta"), "-q", "E<> P1.cs\r"});
  EXPECT_THAT(verdicts(carriageReturn), ElementsAre("T")) << "dropped, as the server drops it";

  RunResult missing = runVerify({example("fischer.gta"), "/nonexistent/q.q"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_THAT(missing.err, HasSubstr("cannot read queries '/nonexistent/q.q'"));
}

TEST(BadInput, UsageErrorsExitWithTwo) {
  for (std::vector<std::string> args :
       std::vector<std::vector<std::string>>{{},
                                             {"--bogus", example("fischer.gta")},
                                             {"--order", "sideways", example("fischer.gta")},
                                             {"--reduction", "7", example("fischer.gta")},
                                             {example("fischer.gta"), "--representation"},
                                             {"a.gta", "b.q", "c"}}) {
    RunResult run = runVerify(args);
    EXPECT_EQ(run.status, 2) << testing::PrintToString(args);
    EXPECT_THAT(run.err, AllOf(StartsWith("quorix-verify: "),
                               HasSubstr("\nTry 'quorix-verify --help' for more information.\n")));
    EXPECT_THAT(run.out, IsEmpty());
  }
}

TEST(BadInput, HelpAndVersion) {
  RunResult help = runVerify({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, StartsWith("Usage: quorix-verify [options] MODEL.gta [QUERIES]\n"));
  for (const char* option : {"--order", "--reduction", "--representation", "--reuse",
                             "--active-clocks", "--trace", "--json", "--dot", "--version", "-q"})
    EXPECT_THAT(help.out, HasSubstr(option));
  RunResult version = runVerify({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "QUORIX version 3.2.9, April 2002 -- command-line verifier.\n");
}
