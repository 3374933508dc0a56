#include "cdd/deadlock.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "cdd/cdd.h"
#include "model/globstat.h"
#include "model/trans.h"
#include "tests/tctl/fixture.h"
#include "zones/clock.h"
#include "zones/region.h"

namespace {

class Deadlock : public testing::Test {
 protected:
  void TearDown() override {
    states_.clear();
    cdd::done();
  }

  // Reads the model and starts the diagram library over its clocks, as a system load does.
  void load(const char* text) {
    system_ = loadModel(text);
    ASSERT_TRUE(system_);
    cdd::done();
    ASSERT_EQ(cdd::init(64, 10000, 10000), 0);
    cdd::setGCHandler(nullptr);
    cdd::setRehashHandler(nullptr);
    cdd::addClocks(ClockInfo::count());
  }
  // The initial state after the time-elapse step, narrowed by the clock formula.
  Ref<GlobalState> initial(const std::string& zone = "") {
    Ref<GlobalState> s = system_->initialState(true);
    if (s && !zone.empty()) narrow(s.get(), zone);
    return s;
  }
  bool narrow(GlobalState* s, const std::string& zone) {
    CheckedProperty p = parsePropertyText("E<> " + zone + "\n", system_);
    EXPECT_TRUE(p.expression) << p.diagnostics;
    return p.expression && p.expression->satisfiedBy(s);
  }
  bool deadlocked(GlobalState* s) { return CDDDeadlockExpr(system_).satisfiedBy(s); }

  Ref<System> system_;
  std::vector<Ref<GlobalState>> states_;
};

// Brute force: some valuation of the zone (sampled on a quarter grid) from which no delay (in
// eighth steps) reaches a valuation of the zone satisfying the clock guards of an enabled edge
// or pair. Clock constants of the models stay below 6.
bool sampledDeadlock(const System* system, const GlobalState* state) {
  SuccessorList successors;
  system->successors(state, true, false, successors);
  std::vector<std::vector<const ClockGuard*>> guards;
  for (const WaitingEntry& e : successors) {
    std::vector<const ClockGuard*> g;
    for (const Transition* t : {e.first.get(), e.second.get()})
      if (t)
        for (const Ref<Guard>& guard : t->guards())
          if (guard->kind() == 4) g.push_back(static_cast<const ClockGuard*>(guard.get()));
    guards.push_back(std::move(g));
  }
  const auto* zone = static_cast<const UnpackedRegion*>(state->zone());
  int dim = zone->dimension();
  auto satisfies = [](double difference, std::int32_t raw) {
    if (isInfinite(raw)) return true;
    double c = boundValue(raw);
    return isStrict(raw) ? difference < c : difference <= c;
  };
  auto inZone = [&](const std::vector<double>& v) {
    for (int i = 0; i < dim; ++i)
      for (int j = 0; j < dim; ++j)
        if (!satisfies(v[i] - v[j], zone->at(i, j))) return false;
    return true;
  };
  // Valuations of up to two clocks (clock 0 is the reference).
  std::vector<double> v(std::size_t(dim), 0.0), w(v);
  int steps = dim > 2 ? 33 : 1;
  for (int a = 0; a <= 32; ++a)
    for (int b = 0; b < steps; ++b) {
      if (dim > 1) v[1] = a * 0.25;
      if (dim > 2) v[2] = b * 0.25;
      if (!inZone(v)) continue;
      bool canAct = false;
      for (const auto& g : guards) {
        for (int d = 0; d <= 80 && !canAct; ++d) {
          for (int k = 1; k < dim; ++k) w[std::size_t(k)] = v[std::size_t(k)] + d * 0.125;
          if (!inZone(w)) continue;
          bool holds = true;
          for (const ClockGuard* c : g)
            holds = holds && satisfies(w[std::size_t(c->first())] - w[std::size_t(c->second())],
                                       c->rawBound());
          canAct = holds;
        }
        if (canAct) break;
      }
      if (!canAct) return true;
    }
  return false;
}

const char* const noEdge = "clock x;\nprocess P { state s; init s; }\nsystem P;";
const char* const upperGuard =
    "clock x;\nprocess P { state s, t; init s; trans s -> t { guard x <= 3; }; }\nsystem P;";
const char* const upperGuardAndInvariant =
    "clock x;\nprocess P { state s { x <= 3 }, t; init s; trans s -> t { guard x <= 3; }; }\n"
    "system P;";
const char* const lowerGuard =
    "clock x;\nint[0,1] i;\n"
    "process P { state s, t; init s; trans s -> t { guard x > 5, i == 0; }; }\nsystem P;";

TEST_F(Deadlock, SomeValuationOfTheZoneThatCanNeverAct) {
  struct Case {
    const char* model;
    const char* zone;
    int i;  // the value of the integer variable, if any
    bool deadlocked;
  } cases[] = {
      {noEdge, "", 0, true},
      {noEdge, "x > 2 and x < 3", 0, true},
      {upperGuard, "", 0, true},  // valuations past the guard can never act
      {upperGuard, "x <= 10", 0, true},
      {upperGuard, "x <= 3", 0, false},
      {upperGuard, "x > 3", 0, true},
      {upperGuardAndInvariant, "", 0, false},  // the invariant keeps every valuation in reach
      {lowerGuard, "", 0, false},              // the lower guard is reached by waiting
      {lowerGuard, "x <= 1", 0, true},         // only the valuations of the zone count
      {lowerGuard, "", 1, true},               // a failing integer guard disables the edge
  };
  for (const Case& c : cases) {
    load(c.model);
    Ref<GlobalState> s = initial(c.zone);
    if (c.i) s->valuation()->cells()[0] = c.i;
    Ref<GlobalState> before(s->copy());
    EXPECT_EQ(deadlocked(s.get()), c.deadlocked) << c.model << "\nzone: " << c.zone;
    EXPECT_EQ(before->relation(s.get()), Region::equal) << "the predicate leaves the state alone";
  }
}

TEST_F(Deadlock, PackedZoneIsReadAsWellAndWithoutASystemNothingIsEnabled) {
  load(upperGuard);
  Ref<GlobalState> s = initial("x <= 10");
  s->setZone(s->zone()->pack());
  EXPECT_TRUE(deadlocked(s.get()));
  EXPECT_TRUE(s->isPacked());
  EXPECT_TRUE(CDDDeadlockExpr(nullptr).satisfiedBy(initial("x <= 3").get()));
}

// Every reachable state of small models, and parts of them, against the sampled oracle.
TEST_F(Deadlock, AgreesWithSampledValuations) {
  const char* const models[] = {
      R"(
clock x, y;
process P {
  state s { x <= 5 }, t, u;
  init s;
  trans s -> t { guard x > 2, y < 3; },
        s -> u { guard x <= y + 1, y >= 4; },
        t -> s { guard y > 1; assign y := 0; },
        u -> t { guard x == 4; assign x := 0; };
}
system P;
)",
      R"(
clock x, y;
chan a;
process P {
  state p0, p1;
  init p0;
  trans p0 -> p1 { guard x >= 2; sync a!; assign x := 0; },
        p1 -> p0 { guard x < 1; };
}
process Q {
  state q0 { y <= 4 }, q1;
  init q0;
  trans q0 -> q1 { guard y > 1; sync a?; },
        q1 -> q0 { guard y >= 3, y < 5; assign y := 0; };
}
system P, Q;
)",
      R"(
clock x, y;
int[0,3] n;
process P {
  state s, t { y <= 2 };
  init s;
  trans s -> t { guard x >= y + 2, n < 2; assign y := 0, n := n + 1; },
        t -> s { guard y == 2, x < 5; },
        t -> t { guard x > y + 3; assign x := 0; };
}
system P;
)",
  };
  const char* const parts[] = {"", "x <= 2", "y >= 3", "x > y", "x < y + 1 and y <= 4", "x >= 4"};
  int stuck = 0, acting = 0;
  for (const char* model : models) {
    load(model);
    std::deque<Ref<GlobalState>> waiting{initial()};
    for (int explored = 0; explored < 30 && !waiting.empty(); ++explored) {
      Ref<GlobalState> s = waiting.front();
      waiting.pop_front();
      for (const char* part : parts) {
        Ref<GlobalState> piece(s->copy());
        if (*part && !narrow(piece.get(), part)) continue;
        bool expected = sampledDeadlock(system_.get(), piece.get());
        EXPECT_EQ(deadlocked(piece.get()), expected) << model << "part: " << part;
        (expected ? stuck : acting) += 1;
      }
      SuccessorList next;
      system_->successors(s.get(), true, true, next);
      for (WaitingEntry& e : next) waiting.push_back(std::move(e.state));
    }
  }
  EXPECT_GT(stuck, 10);
  EXPECT_GT(acting, 10);
}

}  // namespace
