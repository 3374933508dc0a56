// Random mutations of valid models fed to the reader: every text must give a system or
// diagnostics, rejected texts must leave the previous tables in place, and accepted mutants
// must be explorable. Bounded and seeded, so it runs the same way every time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "gta/parser.h"
#include "model/channel.h"
#include "model/global_state.h"
#include "model/integer.h"
#include "model/system.h"
#include "model/clock.h"

namespace {

// The benchmark models of the test folder, and a text with every construct of the language.
std::vector<std::string> seedModels() {
  std::vector<std::string> seeds;
  for (const auto& entry : std::filesystem::directory_iterator(QUORIX_TEST_MODELS)) {
    if (entry.path().extension() != ".gta") continue;
    std::ifstream in(entry.path());
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  seeds.push_back(
      "const N 3; const M -7/2;\n"
      "clock x, y;\nint[0,N] i := 1, a[N];\nint j;\nchan c; urgent chan u;\n"
      "process P [(1,2)] {\n"
      "  int k; clock z;\n"
      "  state s0 [(0,0)] \"lab\" [(1,1)] { x <= 5, z < 4 } [(2,2)], s1, s2 { y <= N };\n"
      "  commit s2;\n  urgent s1;\n  init s0;\n"
      "  trans s0 { x <= 4 } [(1,1)] -> [(2,2)] s1 { guard x >= 1, y < 3 + 0, x <= y + 2,\n"
      "      i == 1, (a[i] + 1) * 2 != -k / 2; sync c!; assign x := 0, a[i] := <?(i, j) - >?(1, "
      "k),\n"
      "      k := (i < 2 ? 1 : 2), global.x := 1; },\n"
      "    -> s2 { sync u?; assign i := i + 1; },\n"
      "    s2 -> s0 { guard z > 1; };\n"
      "}\n"
      "process Q { state t; init t; trans t -> t { sync c?; }, t -> t { sync u!; }; }\n"
      "hide h;\nsystem P, Q;\n");
  return seeds;
}

const char* const fragments[] = {
    "{",          "}",           "(",       ")",        "[",       "]",       ",",    ";",
    "->",         ":=",          "global.", "global.x", "-",       "+",       "*",    "/",
    "2147483647", "99999999999", "0",       "//",       "\"",      "\n",      "x",    "y",
    "N",          "i",           "a",       "P",        "state",   "process", "int",  "clock",
    "chan",       "urgent",      "commit",  "init",     "trans",   "guard",   "sync", "assign",
    "system",     "hide",        "<?",      ">?",       "!",       "?",       "==",   "!=",
    "<",          ">=",          "=>",      "(((((((",  ")))))))", "\r",      "_",    "#",
    "rate",       "+=",          " ",
};

std::string mutate(std::string text, std::mt19937& rng) {
  auto pick = [&](std::size_t n) { return n ? std::size_t(rng() % n) : 0; };
  int count = 1 + int(rng() % 4);
  bool numbersOnly = rng() % 3 == 0;  // such mutants are often accepted and then explored
  for (int m = 0; m < count; ++m) {
    std::size_t at = pick(text.size() + 1);
    std::size_t from = pick(text.size()), d = text.find_first_of("0123456789", at);
    switch (numbersOnly ? 5 : rng() % 6) {
      case 0: text.erase(at, 1 + pick(24)); break;                                 // delete
      case 1: text.insert(at, fragments[pick(std::size(fragments))]); break;       // insert
      case 2: if (at < text.size()) text[at] = char(rng() & 0xFF); break;          // overwrite
      case 3: text.insert(at, text.substr(from, 1 + pick(60))); break;             // duplicate
      case 4: text.resize(at); break;                                              // cut short
      default:  // replace a digit by another number
        if (d != std::string::npos) text.replace(d, 1, std::to_string(int(rng() % 2000) - 1000));
    }
  }
  return text;
}

// A few breadth-first steps through the accepted system.
void explore(const System& system) {
  Ref<GlobalState> start = system.initialState(true);
  if (!start) return;
  std::vector<Ref<GlobalState>> frontier{start};
  SuccessorList list;
  for (std::size_t k = 0; k < frontier.size() && frontier.size() < 40; ++k) {
    list.clear();
    system.successors(frontier[k].get(), true, true, list);
    for (WaitingEntry& e : list) frontier.push_back(e.state);
  }
}

TEST(ParserFuzz, MutatedModelsGiveASystemOrDiagnostics) {
  std::vector<std::string> seeds = seedModels();
  ASSERT_GE(seeds.size(), 5u);
  for (const std::string& s : seeds) {
    ParseResult r = parseSystem(s);
    ASSERT_TRUE(r.system) << r.diagnostics;
    EXPECT_EQ(r.diagnostics, "");
    EXPECT_TRUE(r.system->initialState(true));
  }
  std::mt19937 rng(20240611);
  auto sizes = [] {
    return std::tuple(ClockInfo::count(), integerVariables().size(), channels().size());
  };
  Ref<System> current;
  int accepted = 0;
  for (int iteration = 0; iteration < 1000; ++iteration) {
    std::string text = mutate(seeds[rng() % seeds.size()], rng);
    auto before = sizes();
    ParseResult r = parseSystem(text);
    if (r.system) {
      ++accepted;
      explore(*r.system);
      current = r.system;
      continue;
    }
    ASSERT_FALSE(r.diagnostics.empty()) << text;
    ASSERT_EQ(sizes(), before) << text;
    if (current && iteration % 16 == 0) explore(*current);  // still usable after the rejection
  }
  RecordProperty("accepted", accepted);
  // The mutations are small: some texts survive, most do not.
  EXPECT_GT(accepted, 10);
  EXPECT_LT(accepted, 1000);
}

}  // namespace
