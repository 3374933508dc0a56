// Checks that cannot be completed answer an error reply, never a verdict, and leave the server
// answering the next request as before; the trace store stays as large as one exploration needs.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <sstream>
#include <string>

#include "cdd/cdd.h"
#include "engine/enumeration.h"
#include "gta/parser.h"
#include "server/server.h"
#include "core/session.h"
#include "model/system.h"
#include "tctl/parser.h"
#include "tctl/tctl_expression.h"
#include "trace/trace.h"

namespace {

// Never deadlocks: A waits at most 5, and its loop is enabled from 2 on.
const std::string loopModel =
    "process P { clock x; state A { x <= 5 }; init A;\n"
    "  trans A -> A { guard x >= 2; assign x := 0; }; }\n"
    "system P;\n";

// Runs `action` when the first state of a check is examined, and restores the page limit on
// the tick after that (the first of the next check when `action` ends the first).
class FirstTick final : public Progress {
public:
  explicit FirstTick(std::function<bool()> action) : action_(std::move(action)) {}
  bool tick(const GlobalState*) override {
    ++ticks_;
    if (ticks_ == 1) return action_();
    Cdd::setPageLimit(65536);
    return false;
  }

private:
  std::function<bool()> action_;
  int ticks_ = 0;
};

TEST(FailedCheck, AnswersAnErrorAndTheNextCheckItsVerdict) {
  const struct {
    const char* name;
    std::function<bool()> action;
    const char* reply;
  } cases[] = {
      {"stop asked for", [] { return true; }, "error\nCheck stopped\n.\n"},
      {"allocation failure", []() -> bool { throw std::bad_alloc(); }, "error\nOut of memory\n.\n"},
      {"diagram library out of pages",
       [] {
         Cdd::setPageLimit(1);  // the pages it has: the deadlock test cannot build a node
         return false;
       },
       "error\nOut of memory\n.\n"},
  };
  for (const auto& c : cases) {
    const std::string check = "modelCheck\nA[] not deadlock\n.\n";
    std::istringstream in("newSystem\n" + loopModel + ".\n" + check + check);
    std::ostringstream out;
    Server server(in, out);
    server.session().setProgress(new FirstTick(c.action));
    server.run();
    EXPECT_EQ(out.str(), "ok\n.\nok\n\nt(0) P.x \n.\n" + std::string(c.reply) + "ok\nT\n0\n0\n.\n")
        << c.name;
  }
  Cdd::setPageLimit(65536);
}

TEST(TraceStore, HoldsTheStepsOfOneExplorationOnly) {
  Session session;
  session.setOption(Session::traceOption, 1);
  std::size_t steps = 0;
  for (int round = 0; round < 20; ++round) {
    session.setSystem(parseSystem(loopModel).system);  // newSystem
    for (int check = 0; check < 3; ++check) {
      CheckedProperty parsed = parsePropertyText("E<> P.x > 7", session.system());
      session.check(parsed.kind, parsed.expression);
      std::size_t now = static_cast<const MemoryTraceStore*>(session.traceStore())->stepCount();
      if (round == 0 && check == 0) steps = now;
      ASSERT_EQ(now, steps) << "round " << round << ", check " << check;
    }
  }
  EXPECT_GT(steps, 0u);
}

}  // namespace
