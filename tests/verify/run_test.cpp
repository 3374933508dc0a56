// End-to-end runs of quorix-verify: verdicts, exit statuses, outputs, traces and bad input.
#include "run.h"

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "json.h"

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

std::vector<JsonValue> jsonLines(const std::string& text) {
  std::vector<JsonValue> values;
  for (const std::string& line : lines(text)) values.push_back(JsonReader::parse(line));
  return values;
}

// The verdict letters of a --json run.
std::vector<std::string> verdicts(const RunResult& run) {
  std::vector<std::string> letters;
  for (const JsonValue& value : jsonLines(run.out)) letters.push_back(value["verdict"].text);
  return letters;
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
  std::vector<JsonValue> objects = jsonLines(run.out);
  ASSERT_EQ(objects.size(), 2u) << run.out;
  for (const JsonValue& object : objects) {
    EXPECT_THAT(object.order,
                ElementsAre("text", "source", "kind", "verdict", "result", "statistics", "trace"));
    const JsonValue& statistics = object["statistics"];
    EXPECT_THAT(statistics.order, ElementsAre("explored", "stored", "seconds", "peakMemoryKB"));
    for (const std::string& name : statistics.order)
      EXPECT_EQ(statistics[name].type, JsonValue::number) << name;
    EXPECT_GT(statistics["explored"].value, 0);
  }
  EXPECT_EQ(objects[0]["text"].text, "A[] not deadlock");
  EXPECT_EQ(objects[0]["source"].text, "-q");
  EXPECT_EQ(objects[0]["kind"].text, "A[]");
  EXPECT_EQ(objects[0]["verdict"].text, "T");
  EXPECT_EQ(objects[0]["result"].text, "satisfied");
  EXPECT_EQ(objects[0]["trace"].type, JsonValue::null) << "no counterexample, no trace";

  const JsonValue& trace = objects[1]["trace"];
  EXPECT_EQ(objects[1]["kind"].text, "E<>");
  EXPECT_THAT(trace["start"]["locations"].items.size(), 3u);
  ASSERT_EQ(trace["steps"].items.size(), 2u);
  const JsonValue& step = trace["steps"].items[0];
  EXPECT_FALSE(step["loop"].flag);
  ASSERT_EQ(step["transitions"].items.size(), 2u) << "a synchronisation";
  EXPECT_EQ(step["transitions"].items[0]["process"].text, "Train1");
  EXPECT_EQ(step["transitions"].items[0]["source"].text, "Far");
  EXPECT_EQ(step["transitions"].items[0]["target"].text, "Near");
  EXPECT_EQ(step["transitions"].items[1]["process"].text, "Gate");
  EXPECT_THAT(step["transitions"].items[1]["labels"].text, HasSubstr("sync appr?;"));
  EXPECT_EQ(step["state"]["variables"]["near"].value, 1);
  EXPECT_EQ(trace["steps"].items[1]["state"]["variables"]["near"].value, 2);

  RunResult loop = runVerify({"--json", "--trace", model("cycle.gta"), "-q", "E[] P.a or P.b"});
  JsonValue cycle = JsonReader::parse(loop.out);
  EXPECT_EQ(cycle["kind"].text, "E[]");
  int looping = 0;
  for (const JsonValue& each : cycle["trace"]["steps"].items) looping += each["loop"].flag;
  EXPECT_EQ(looping, 2);

  RunResult plain = runVerify({"--json", model("cycle.gta"), "-q", "P.a --> P.b"});
  JsonValue leadsTo = JsonReader::parse(plain.out);
  EXPECT_EQ(leadsTo["kind"].text, "-->");
  EXPECT_FALSE(leadsTo.has("trace")) << "traces appear only with --trace";
}

TEST(Output, StatisticsCountTheStatesOfEachSearch) {
  // The handshake has two symbolic states: before and after the synchronisation.
  RunResult run = runVerify({"--json", model("handshake.gta"), "-q", "A[] n <= 1", "-q", "E<> B.t0",
                             "-q", "E[] A.s0 or A.s1", "-q", "A.s0 --> B.t1"});
  std::vector<JsonValue> objects = jsonLines(run.out);
  ASSERT_EQ(objects.size(), 4u) << run.err;
  auto counts = [&](std::size_t k) {
    const JsonValue& statistics = objects[k]["statistics"];
    return std::vector<double>{statistics["explored"].value, statistics["stored"].value};
  };
  EXPECT_EQ(counts(0), (std::vector<double>{2, 2})) << "the whole state space";
  EXPECT_EQ(counts(1), (std::vector<double>{1, 1})) << "the start state is a witness";
  EXPECT_EQ(counts(2), (std::vector<double>{2, 2}))
      << "the liveness search reaches s1, where time diverges";
  // Leads-to: the two states of the exploration, and the liveness search for a run avoiding
  // B.t1 from the start state (where A.s0 holds), which examines that state alone, in a passed
  // list of its own: its only successor lies in B.t1.
  EXPECT_EQ(counts(3), (std::vector<double>{3, 3}));
}

TEST(Output, QueriesFromFileThenFromOptions) {
  std::string path = tempPath("q.q");
  writeWholeFile(path, "// comment\r\n\r\nE<> P1.cs\r\n  A[] not deadlock  \n");
  RunResult run = runVerify({"--json", example("fischer.gta"), path, "-q", "E<> P2.cs"});
  std::vector<JsonValue> objects = jsonLines(run.out);
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0]["text"].text, "E<> P1.cs");
  EXPECT_EQ(objects[0]["source"].text, path + ":3");
  EXPECT_EQ(objects[1]["text"].text, "A[] not deadlock");
  EXPECT_EQ(objects[2]["source"].text, "-q");
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

TEST(BadInput, RejectedPropertiesAreNamedAndTheOthersChecked) {
  // The server's scanner skips what it does not know; read so, "A[] !deadlock" would become
  // "A[] deadlock" and be answered.
  RunResult run = runVerify({example("fischer.gta"), "-q", "E<> P1.cs", "-q", "A[] !deadlock",
                             "-q", "E<> P1.cs && P2.cs", "-q", "A[] (", "-q", "E<> P1.",
                             "-q", "E<> y == 1", "-q", "quit", "-q", "E<> id = 1"});
  EXPECT_EQ(run.status, 2);
  EXPECT_THAT(run.out, StartsWith("E<> P1.cs\n    satisfied\n"));
  EXPECT_THAT(lines(run.out).back(),
              "8 properties: 1 satisfied, 0 not satisfied, 7 rejected");
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
  std::vector<JsonValue> objects = jsonLines(file.out);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0]["source"].text, path + ":3");
  EXPECT_EQ(objects[0]["column"].value, 5);
  EXPECT_EQ(objects[0]["error"].text, "unknown process 'P9'");
  EXPECT_EQ(objects[1]["verdict"].text, "T");
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

TEST(BadInput, DeepModelsAreCheckedOrRefusedWithoutACrash) {
  std::string sum = "0";
  for (int k = 0; k < 400000; ++k) sum += "+0";
  std::string path = tempPath("deep.gta");
  writeWholeFile(path, "int k := 1;\nprocess P {\n  state a, b; init a;\n  trans a -> b { assign k := " +
                           sum + "; };\n}\nsystem P;\n");
  RunResult chain = runVerify({"--json", path, "-q", "E<> P.b and k == 0"});
  EXPECT_THAT(verdicts(chain), ElementsAre("T")) << chain.err;

  std::string nested = std::string(4000, '(') + "0" + std::string(4000, ')');
  writeWholeFile(path, "process P {\n  state a; init a;\n  trans a -> a { guard " + nested +
                           " == 0; };\n}\nsystem P;\n");
  RunResult deep = runVerify({path});
  EXPECT_EQ(deep.status, 2);
  EXPECT_THAT(deep.err, HasSubstr(path + ":3:3356: parser stack overflow\n"));
  std::remove(path.c_str());
}

TEST(BadInput, ModelFromStandardInputAndJsonOfAnyBytes) {
  RunResult piped = runProgram(QUORIX_VERIFY_PATH, {"-", "-q", "E<> P1.cs"},
                               readWholeFile(example("fischer.gta")));
  EXPECT_EQ(piped.status, 0) << piped.err;
  RunResult bytes = runProgram(QUORIX_VERIFY_PATH, {"--json", "-", "-q", "E<> \xff\xc3("},
                               "process P { state a \xe9; init a; }\nsystem P;\n");
  EXPECT_EQ(bytes.status, 2);
  std::vector<JsonValue> errors = jsonLines(bytes.out);
  ASSERT_EQ(errors.size(), 1u) << bytes.out;
  EXPECT_EQ(errors[0]["error"].text, "unexpected '\xe9'") << "read back from its escape";
  EXPECT_EQ(bytes.out.find('\xe9'), std::string::npos);
}

TEST(Limits, StoppedChecksAnswerUnknownWithTheirStatistics) {
  // The full check under global constants takes far longer than the limit.
  RunResult run = runVerify({"--json", "--abstraction", "global", "--time-limit", "0.2", sourcePath("tests/gta/models/fischer_7.gta"),
                             "-q", "A[] not (P1.cs and P2.cs)", "-q", "E<> P1.cs"});
  EXPECT_EQ(run.status, 3) << run.err;
  std::vector<JsonValue> results = jsonLines(run.out);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0]["verdict"].text, "U");
  EXPECT_EQ(results[0]["result"].text, "unknown (stopped: time limit of 0.2 s)");
  EXPECT_GT(results[0]["statistics"]["explored"].value, 0);
  EXPECT_EQ(results[1]["verdict"].text, "T") << "the next check starts afresh";
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
