// Two servers in one process, each with its own model, answering requests in turn: each gives
// exactly the replies a server process of its own gives for the same input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "server/server.h"

namespace {

std::string readText(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// A newSystem request for a model file, then one modelCheck per property of its query file.
std::string checksOf(const std::string& model, const std::string& queries) {
  std::string script = "newSystem\n" + readText(QUORIX_SOURCE_DIR "/" + model) + ".\n";
  std::istringstream lines(readText(QUORIX_SOURCE_DIR "/" + queries));
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line.rfind("//", 0) != 0) script += "modelCheck\n" + line + "\n.\n";
  return script;
}

// The output of the server program for the input.
std::string separateServer(const std::string& input) {
  const std::string in = testing::TempDir() + "two_sessions_in_" + std::to_string(getpid()),
                    out = in + "_out";
  std::ofstream(in) << input;
  EXPECT_EQ(std::system((QUORIX_SERVER_PATH " <" + in + " >" + out).c_str()), 0);
  std::string output = readText(out);
  unlink(in.c_str());
  unlink(out.c_str());
  return output;
}

TEST(TwoSessions, TakingTurnsGiveTheRepliesOfSeparateServers) {
  // Traces, the deadlock predicate (decision diagrams), the simulator, a second model loaded
  // into one server while the other keeps its own, and reuse of an exploration.
  const std::string first = "setOptions\ntrace 1\n.\n" +
                            checksOf("examples/train_crossing.gta", "examples/train_crossing.q") +
                            "getInitialState\n" +
                            checksOf("examples/scheduler.gta", "examples/scheduler.q") + "quit\n";
  const std::string second = checksOf("examples/fischer.gta", "examples/fischer.q") +
                             "setOptions\nreuse 1\ntrace 1\n.\n" +
                             checksOf("examples/fischer.gta", "examples/fischer.q") +
                             "getInitialState\nquit\n";

  std::istringstream inA(first), inB(second);
  std::ostringstream outA, outB;
  Server a(inA, outA), b(inB, outB);
  a.greet();
  b.greet();
  for (bool moreA = true, moreB = true; moreA || moreB;) {
    if (moreA) moreA = a.serveOne();
    if (moreB) moreB = b.serveOne();
  }
  EXPECT_EQ(outA.str(), separateServer(first));
  EXPECT_EQ(outB.str(), separateServer(second));
}

}  // namespace
