// End-to-end runs of quorix-verify: verdicts, exit statuses, outputs, traces and bad input.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"

using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;
using testing::StartsWith;
using Json = nlohmann::json;

namespace {

struct RunResult {
  int status = -1;  // exit status, or -1 when the shell did not exit normally
  std::string out, err;
};

std::string readWholeFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

void writeWholeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh path in the test's temporary directory.
std::string tempPath(const std::string& name) {
  static int counter = 0;
  return testing::TempDir() + "verify_" + std::to_string(getpid()) + "_" +
         std::to_string(counter++) + "_" + name;
}

// Runs the program through the shell, every argument quoted, with the outputs in files.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input = "") {
  const std::string in = tempPath("in"), out = tempPath("out"), err = tempPath("err");
  writeWholeFile(in, input);
  std::string command = "'" + program + "'";
  for (const std::string& arg : args) {
    command += " '";
    for (char c : arg) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "'";
  }
  int status = std::system((command + " <" + in + " >" + out + " 2>" + err).c_str());
  RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readWholeFile(out),
                   readWholeFile(err)};
  for (const std::string& path : {in, out, err}) std::remove(path.c_str());
  return result;
}

RunResult runVerify(const std::vector<std::string>& args) {
  return runProgram(QUORIX_VERIFY_PATH, args);
}
std::string sourcePath(const std::string& path) { return QUORIX_SOURCE_DIR "/" + path; }

std::string example(const std::string& name) { return sourcePath("examples/" + name); }
std::string model(const std::string& name) { return sourcePath("tests/verify/models/" + name); }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// One strict JSON value per output line.
std::vector<Json> jsonLines(const std::string& text) {
  std::vector<Json> values;
  for (const std::string& line : lines(text)) values.push_back(Json::parse(line));
  return values;
}

// The verdict letters of a --json run.
std::vector<std::string> verdicts(const RunResult& run) {
  std::vector<std::string> letters;
  for (const Json& value : jsonLines(run.out)) letters.push_back(value["verdict"]);
  return letters;
}

// The arguments followed by "-q PROPERTY" for each property.
std::vector<std::string> withQueries(std::vector<std::string> args,
                                     const std::vector<std::string>& properties) {
  for (const std::string& property : properties) args.insert(args.end(), {"-q", property});
  return args;
}

// The verdict letters the server answers for the properties, with the given option lines.
std::vector<std::string> serverVerdicts(const std::string& modelPath,
                                        const std::vector<std::string>& properties,
                                        const std::vector<std::string>& options) {
  std::string input = "setOptions\n";
  for (const std::string& option : options) input += option + "\n";
  input += ".\nnewSystem\n" + readWholeFile(modelPath) + "\n.\n";
  for (const std::string& property : properties) input += "modelCheck\n" + property + "\n.\n";
  RunResult run = runProgram(QUORIX_SERVER_PATH, {}, input + "quit\n");
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> reply = lines(run.out), letters;
  // Greeting (2 lines), setOptions (2), newSystem (4), then 5 lines per check without traces.
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
  std::vector<std::string> out = lines(fischer.out), texts = queries(example("fischer.q"));
  ASSERT_EQ(out.size(), 6u * 3 + 1) << fischer.out;
  for (std::size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(out[3 * k], texts[k]);
    EXPECT_EQ(out[3 * k + 1], k < 5 ? "    satisfied" : "    not satisfied") << texts[k];
    EXPECT_THAT(out[3 * k + 2],
                testing::MatchesRegex("    [0-9]+ states? explored, [0-9]+ stored, [0-9]+\\.[0-9]+ "
                                      "s, peak memory [0-9]+\\.[0-9] MB"));
  }
  EXPECT_EQ(out.back(), "6 properties: 5 satisfied, 1 not satisfied");

  RunResult scheduler = runVerify({"--json", example("scheduler.gta"), example("scheduler.q")});
  EXPECT_EQ(scheduler.status, 0) << scheduler.err;
  EXPECT_THAT(verdicts(scheduler), ElementsAre("T", "T", "T"));

  RunResult benchmark = runVerify({"--json", model("fischer_3.gta"), model("fischer.q")});
  EXPECT_EQ(benchmark.status, 1) << benchmark.err;
  EXPECT_EQ(verdicts(benchmark), lines(readWholeFile(model("fischer.expected"))));
}

TEST(ExampleModels, AnswersAreTheServersUnderEveryOption) {
  struct Setting {
    std::vector<std::string> flags, options;
  } settings[] = {
      {{}, {}},
      {{"--order", "dfs", "--reduction", "0"}, {"order 1", "reduction 0"}},
      {{"--reduction", "2", "--representation", "packed"}, {"reduction 2", "representation 1"}},
      {{"--representation", "hull"}, {"representation 3"}},
      {{"--reuse", "--active-clocks"}, {"reuse T", "activeClocks T"}},
  };
  std::vector<std::string> properties = queries(example("train_crossing.q"));
  properties.insert(properties.end(),
                    {"E[] Gate.Up", "A<> Gate.Down", "E<> Train1.In and Train2.In"});
  for (const Setting& setting : settings) {
    std::vector<std::string> args = setting.flags;
    args.insert(args.end(), {"--json", example("train_crossing.gta")});
    std::vector<std::string> got = verdicts(runVerify(withQueries(args, properties)));
    EXPECT_EQ(got.size(), properties.size());
    EXPECT_EQ(got, serverVerdicts(example("train_crossing.gta"), properties, setting.options))
        << testing::PrintToString(setting.flags);
  }
  // Bit-state hashing applies no inclusion, so it explores many zones: a small model only.
  std::vector<std::string> handshake = {"E<> B.t1", "E<> A.s0 and B.t1", "A[] n <= 1",
                                        "E[] A.s0", "A<> B.t1",          "A.s0 --> B.t1"};
  std::vector<std::string> hashed = verdicts(runVerify(
      withQueries({"--json", "--representation", "bitstate", model("handshake.gta")}, handshake)));
  EXPECT_THAT(hashed, ElementsAre("T", "M", "M", "M", "M", "M"));
  EXPECT_EQ(hashed, serverVerdicts(model("handshake.gta"), handshake, {"representation 2"}));
}

TEST(ExampleModels, ApproximationsAnswerMaybe) {
  RunResult bitstate = runVerify(
      {"--representation", "bitstate", model("handshake.gta"), "-q", "E<> A.s0 and B.t1"});
  EXPECT_EQ(bitstate.status, 3);
  EXPECT_THAT(bitstate.out, HasSubstr("\n    maybe satisfied (approximation)\n"));
  EXPECT_THAT(bitstate.out,
              HasSubstr("1 property: 0 satisfied, 0 not satisfied, 1 maybe satisfied"));
}

TEST(Output, ReadableTraces) {
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

  // Only witnesses and counterexamples have traces.
  RunResult two =
      runVerify({"--trace", model("handshake.gta"), "-q", "A[] n <= 1", "-q", "A[] n == 0"});
  EXPECT_EQ(two.status, 1);
  EXPECT_THAT(withoutStatistics(two.out),
              StartsWith("A[] n <= 1\n    satisfied\nA[] n == 0\n    not satisfied\n"
                         "    trace, 1 step:\n"));

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
  EXPECT_THAT(stuck.out, AllOf(HasSubstr("      the run stays in the last state forever\n"),
                               Not(HasSubstr("loop:"))));
}

// The JSON output with the figures of the statistics, which vary, masked.
std::string masked(const std::string& text) {
  static const std::regex figures(
      R"("statistics":\{"explored":[0-9]+,"stored":[0-9]+,"seconds":[0-9]+\.[0-9]{3},)"
      R"("peakMemoryKB":[0-9]+\})");
  return std::regex_replace(text, figures, "\"statistics\":{}");
}

TEST(Output, JsonObjectPerProperty) {
  RunResult run = runVerify({"--json", "--trace", example("train_crossing.gta"), "-q",
                             "A[] not deadlock", "-q", "E<> Train1.Near and Train2.Near"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(
      masked(run.out),
      R"({"text":"A[] not deadlock","source":"-q","kind":"A[]","verdict":"T","result":"satisfied",)"
      R"("statistics":{},"trace":null})"
      "\n"
      R"({"text":"E<> Train1.Near and Train2.Near","source":"-q","kind":"E<>","verdict":"T",)"
      R"("result":"satisfied","statistics":{},"trace":{"start":{"locations":["Train1.Far",)"
      R"("Train2.Far","Gate.Up"],"clocks":["Train1.x == Train2.x","Train1.x == Gate.y"],)"
      R"("variables":{"near":0}},"steps":[{"loop":false,"transitions":[{"process":"Train1",)"
      R"("source":"Far","target":"Near","labels":"{ sync appr!; assign Train1.x:=0; }"},)"
      R"({"process":"Gate","source":"Up","target":"Lowering","labels":"{ sync appr?; assign )"
      R"(Gate.y:=0, near := (near + 1); }"}],"state":{"locations":["Train1.Near","Train2.Far",)"
      R"("Gate.Lowering"],"clocks":["Train1.x == Gate.y","Train1.x <= 1","Train1.x <= Train2.x"],)"
      R"("variables":{"near":1}}},{"loop":false,"transitions":[{"process":"Train2","source":"Far",)"
      R"("target":"Near","labels":"{ sync appr!; assign Train2.x:=0; }"},{"process":"Gate",)"
      R"("source":"Lowering","target":"Lowering","labels":"{ sync appr?; assign near := (near + )"
      R"(1); }"}],"state":{"locations":["Train1.Near","Train2.Near","Gate.Lowering"],"clocks":)"
      R"(["Train1.x == Gate.y","Train1.x <= 1","Train1.x >= Train2.x"],"variables":{"near":2}}}]}})"
      "\n");

  RunResult loop = runVerify({"--json", "--trace", model("cycle.gta"), "-q", "E[] P.a or P.b"});
  EXPECT_EQ(
      masked(loop.out),
      R"({"text":"E[] P.a or P.b","source":"-q","kind":"E[]","verdict":"T","result":"satisfied",)"
      R"("statistics":{},"trace":{"start":{"locations":["P.a"],"clocks":["P.x <= 1"],)"
      R"("variables":{}},"steps":[{"loop":true,"transitions":[{"process":"P","source":"a",)"
      R"("target":"b","labels":"{ guard P.x<=1, 1<=P.x; assign P.x:=0; }"}],"state":)"
      R"({"locations":["P.b"],"clocks":["P.x <= 1"],"variables":{}}},{"loop":true,"transitions":)"
      R"([{"process":"P","source":"b","target":"a","labels":"{ guard P.x<=1, 1<=P.x; assign )"
      R"(P.x:=0; }"}],"state":{"locations":["P.a"],"clocks":["P.x <= 1"],"variables":{}}}]}})"
      "\n");
  // Traces appear only with --trace.
  EXPECT_EQ(masked(runVerify({"--json", model("cycle.gta"), "-q", "P.a --> P.b"}).out),
            R"({"text":"P.a --> P.b","source":"-q","kind":"-->","verdict":"T",)"
            R"("result":"satisfied","statistics":{}})"
            "\n");
}

TEST(Output, StatisticsCountTheStatesOfEachSearch) {
  // The handshake has two symbolic states: before and after the synchronisation.
  RunResult run = runVerify({"--json", model("handshake.gta"), "-q", "A[] n <= 1", "-q", "E<> B.t0",
                             "-q", "E[] A.s0 or A.s1", "-q", "A.s0 --> B.t1"});
  std::vector<Json> objects = jsonLines(run.out);
  ASSERT_EQ(objects.size(), 4u) << run.err;
  auto counts = [&](std::size_t k) {
    const Json& statistics = objects[k]["statistics"];
    return std::vector<int>{statistics["explored"], statistics["stored"]};
  };
  EXPECT_EQ(counts(0), (std::vector<int>{2, 2})) << "the whole state space";
  EXPECT_EQ(counts(1), (std::vector<int>{1, 1})) << "the start state is a witness";
  EXPECT_EQ(counts(2), (std::vector<int>{2, 2}))
      << "the liveness search reaches s1, where time diverges";
  // Leads-to: the two states of the exploration, and the liveness search for a run avoiding
  // B.t1 from the start state (where A.s0 holds), which examines that state alone, in a passed
  // list of its own: its only successor lies in B.t1.
  EXPECT_EQ(counts(3), (std::vector<int>{3, 3}));
}

TEST(Output, QueriesFilesAndModelTexts) {
  std::string path = tempPath("q.q");
  // Blank and comment lines are skipped; a last line without a line feed counts.
  writeWholeFile(path,
                 "// comment\r\n\r\nE<> P1.cs\r\n   \t\n  // indented\n  A[] not deadlock  \nE<> P3.cs");
  std::vector<Json> objects =
      jsonLines(runVerify({"--json", example("fischer.gta"), path, "-q", "E<> P2.cs"}).out);
  ASSERT_EQ(objects.size(), 4u);
  const char* texts[] = {"E<> P1.cs", "A[] not deadlock", "E<> P3.cs", "E<> P2.cs"};
  const std::string sources[] = {path + ":3", path + ":6", path + ":7", "-q"};
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(objects[k]["text"], texts[k]);
    EXPECT_EQ(objects[k]["source"], sources[k]);
  }

  // A model with carriage returns reads as without.
  std::string crlf;
  for (char c : readWholeFile(example("train_crossing.gta")))
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  writeWholeFile(path, crlf);
  EXPECT_EQ(
      verdicts(runVerify({"--json", path, example("train_crossing.q")})),
      verdicts(runVerify({"--json", example("train_crossing.gta"), example("train_crossing.q")})));
  std::remove(path.c_str());

  // Without properties the model is only read.
  RunResult read = runVerify({example("fischer.gta")});
  EXPECT_EQ(read.status, 0);
  EXPECT_THAT(read.out, HasSubstr("was read: 3 processes, 3 clocks, 1 integer variable;"));
}

TEST(Output, DotGraphOfTheNetwork) {
  std::string path = tempPath("net.dot");
  RunResult run = runVerify({"--dot", path, example("train_crossing.gta")});
  EXPECT_EQ(run.status, 0) << run.err;
  std::string dot = readWholeFile(path);
  EXPECT_THAT(
      dot, AllOf(StartsWith("digraph network {\n"),
                 HasSubstr("subgraph cluster_0 {\n    label=\"Train1\";"),
                 HasSubstr("subgraph cluster_2 {\n    label=\"Gate\";"),
                 HasSubstr("p2_3 [label=\"Check\\n(committed)\", peripheries=2];"),
                 HasSubstr("p0_1 [label=\"Near\\nTrain1.x<=5\"];"), HasSubstr("p2_init -> p2_0;"),
                 HasSubstr("p2_3 -> p2_0 [label=\"near == 0\"];"),
                 HasSubstr("p0_0 -> p0_1 [label=\"appr!\\nTrain1.x:=0\"];")));
  EXPECT_EQ(dot.back(), '\n');
  std::remove(path.c_str());
}

TEST(Output, WarningsNameTheVariableAndTheEdge) {
  std::string path = tempPath("range.gta");
  writeWholeFile(path,
                 "int[0,3] i;\nint a[2];\nprocess P {\n  state s; init s;\n"
                 "  trans s -> s { guard i < 3; assign i := i + 2, a[i] := 1; };\n}\nsystem P;\n");
  RunResult run = runVerify({path, "-q", "A[] i <= 3"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(lines(run.out),
              testing::IsSupersetOf(
                  {"    warning: value 4 assigned to 'i' is outside its range [0, 3] and wraps, on "
                   "P: s -> s { guard i < 3; assign i := (i + 2), a[i] := 1; }",
                   "    warning: index 2 is outside the array 'a' of 2 elements, on P: s -> s { "
                   "guard i < 3; assign i := (i + 2), a[i] := 1; }"}));
  std::remove(path.c_str());
}

TEST(BadInput, UsageErrorsAndUnreadableFilesExitWithTwo) {
  const std::string fischer = example("fischer.gta"),
                    hint = "\nTry 'quorix-verify --help' for more information.\n";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, "no model file given" + hint},
      {{"--bogus", fischer}, "unknown option '--bogus'" + hint},
      {{"--order", "sideways", fischer},
       "bad value 'sideways' for --order: bfs or dfs expected" + hint},
      {{"--reduction", "7", fischer}, "bad value '7' for --reduction: 0, 1 or 2 expected" + hint},
      {{fischer, "--representation"},
       "option '--representation' needs a value: full, packed, bitstate or hull" + hint},
      {{"a.gta", "b.q", "c"}, "too many arguments: 'c'" + hint},
      {{"/nonexistent/model.gta"},
       "cannot read model '/nonexistent/model.gta': No such file or directory\n"},
      {{sourcePath("examples")},
       "cannot read model '" + sourcePath("examples") + "': Is a directory\n"},
      {{fischer, "/nonexistent/q.q"},
       "cannot read queries '/nonexistent/q.q': No such file or directory\n"},
      {{"--dot", "/nonexistent-dir/x.dot", fischer},
       "cannot write '/nonexistent-dir/x.dot': No such file or directory\n"},
  };
  for (const Case& c : cases) {
    RunResult run = runVerify(c.args);
    EXPECT_EQ(run.status, 2) << testing::PrintToString(c.args);
    EXPECT_EQ(run.err, "quorix-verify: " + c.err);
    EXPECT_THAT(run.out, IsEmpty());
  }
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

TEST(BadInput, RejectedModels) {
  std::string path = tempPath("bad.gta");
  writeWholeFile(path,
                 "// fine\nprocess P {\n  state a; init a;\n  trans a -> b { };\n}\nsystem P;\n");
  RunResult rejected = runVerify({path, "-q", "E<> P.a"});
  EXPECT_EQ(rejected.status, 2);
  EXPECT_THAT(lines(rejected.err),
              ElementsAre(path + ":4:14: Transition destination is not a state: 'b'",
                          "quorix-verify: the model in '" + path + "' was rejected"));
  EXPECT_THAT(rejected.out, IsEmpty());
  writeWholeFile(path, "");
  EXPECT_EQ(runVerify({path}).status, 2) << "an empty text is no model";
  std::remove(path.c_str());
}

TEST(BadInput, RejectedPropertiesAreNamedAndTheOthersChecked) {
  // The server's scanner skips what it does not know; read so, "A[] !deadlock" would become
  // "A[] deadlock" and be answered.
  RunResult run = runVerify({example("fischer.gta"), "-q", "E<> P1.cs", "-q", "A[] !deadlock",
                             "-q", "E<> P1.cs && P2.cs", "-q", "A[] (", "-q", "E<> P1.",
                             "-q", "E<> y == 1", "-q", "quit", "-q", "E<> id = 1"});
  EXPECT_EQ(run.status, 2);
  EXPECT_THAT(run.out, StartsWith("E<> P1.cs\n    satisfied\n"));
  EXPECT_THAT(lines(run.out).back(), "8 properties: 1 satisfied, 0 not satisfied, 7 rejected");
  EXPECT_THAT(lines(run.err),
              ElementsAre("-q 1:5: unexpected '!': write 'not'", "    A[] !deadlock", "        ^",
                          "-q 1:11: unexpected '&&': write 'and'", "    E<> P1.cs && P2.cs",
                          "              ^",  //
                          "-q 1:6: unexpected end of property", "    A[] (", "         ^",
                          "-q 1:5: 'P1' cannot be used here", "    E<> P1.", "        ^",
                          "-q 1:5: unknown name 'y'", "    E<> y == 1", "        ^",
                          "-q 1:1: 'quit' is not a property", "    quit", "    ^",
                          "-q 1:8: unexpected '=': write '==' to compare", "    E<> id = 1",
                          "           ^"));

  std::string path = tempPath("bad.q");
  writeWholeFile(path, "E<> P1.cs\n\nE<> P9.cs\n");
  RunResult file = runVerify({"--json", example("fischer.gta"), path});
  EXPECT_EQ(file.status, 2);
  std::vector<Json> objects = jsonLines(file.out);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0]["source"], path + ":3");
  EXPECT_EQ(objects[0]["column"], 5);
  EXPECT_EQ(objects[0]["error"], "unknown process 'P9'");
  EXPECT_EQ(objects[1]["verdict"], "T");
  std::remove(path.c_str());

  RunResult twoLines = runVerify({example("fischer.gta"), "-q", "E<> P1.cs\nE<> P2.cs"});
  EXPECT_EQ(twoLines.status, 2);
  EXPECT_EQ(twoLines.err, "-q 1: A property is one line.\n    E<> P1.cs\nE<> P2.cs\n");
  RunResult carriageReturn = runVerify({"--json", example("fischer.gta"), "-q", "E<> P1.cs\r"});
  EXPECT_THAT(verdicts(carriageReturn), ElementsAre("T")) << "dropped, as the server drops it";
}

TEST(BadInput, ModelFromStandardInputAndJsonOfAnyBytes) {
  RunResult piped = runProgram(QUORIX_VERIFY_PATH, {"-", "-q", "E<> P1.cs"},
                               readWholeFile(example("fischer.gta")));
  EXPECT_EQ(piped.status, 0) << piped.err;
  RunResult bytes = runProgram(QUORIX_VERIFY_PATH, {"--json", "-", "-q", "E<> \xff\xc3("},
                               "process P { state a \xe9; init a; }\nsystem P;\n");
  EXPECT_EQ(bytes.status, 2);
  std::vector<Json> errors = jsonLines(bytes.out);
  ASSERT_EQ(errors.size(), 1u) << bytes.out;
  EXPECT_EQ(errors[0]["error"], "unexpected '\u00e9'") << "read back from its escape";
  EXPECT_EQ(bytes.out.find('\xe9'), std::string::npos);
}

TEST(Limits, StoppedChecksAnswerUnknownWithTheirStatistics) {
  // The full check under global constants takes far longer than the limit.
  RunResult run = runVerify({"--json", "--abstraction", "global", "--time-limit", "0.2",
                             sourcePath("tests/gta/models/fischer_7.gta"), "-q",
                             "A[] not (P1.cs and P2.cs)", "-q", "E<> P1.cs"});
  EXPECT_EQ(run.status, 3) << run.err;
  std::vector<Json> results = jsonLines(run.out);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0]["verdict"], "U");
  EXPECT_EQ(results[0]["result"], "unknown (stopped: time limit of 0.2 s)");
  EXPECT_GT(results[0]["statistics"]["explored"], 0);
  EXPECT_EQ(results[1]["verdict"], "T") << "the next check starts afresh";
}
