#include "tctl/deadlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"
#include "model/global_state.h"
#include "model/transition.h"
#include "tests/support/cdd_fixture.h"
#include "tests/tctl/fixture.h"

namespace {

class Deadlock : public testing::Test {
 protected:
  // Reads the model and starts the diagram library over its clocks, as a system load does.
  void load(const char* text) {
    system_ = loadModel(text);
    ASSERT_TRUE(system_);
    library_.restart(ClockInfo::count());
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
  bool deadlocked(GlobalState* s) { return CddDeadlockExpr(system_).satisfiedBy(s); }
  // The first states of a breadth-first exploration, each also narrowed by every part that
  // leaves something of it.
  std::vector<Ref<GlobalState>> pieces(int states, const std::vector<const char*>& parts) {
    std::vector<Ref<GlobalState>> result;
    std::deque<Ref<GlobalState>> waiting{initial()};
    for (int explored = 0; explored < states && !waiting.empty(); ++explored) {
      Ref<GlobalState> s = waiting.front();
      waiting.pop_front();
      for (const char* part : parts) {
        Ref<GlobalState> piece(s->copy());
        if (!*part || narrow(piece.get(), part)) result.push_back(piece);
      }
      SuccessorList next;
      system_->successors(s.get(), true, true, next);
      for (WaitingEntry& e : next) waiting.push_back(std::move(e.state));
    }
    return result;
  }

  DiagramLibrary library_{1};
  Ref<System> system_;
};

// Brute force over the valuations of a state: those on a quarter grid (two clocks, values up to
// 9, beyond every constant of the models and formulas here), and the deadlock of each: no delay
// (in eighth steps, within the zone, and none where time may not pass) reaches a valuation that
// satisfies the clock guards of an enabled edge or pair. Values are in eighths.
class Valuations {
 public:
  static constexpr int unit = 8;
  struct Point {
    ::Point values;
    bool deadlocked;
  };

  Valuations(const System* system, const GlobalState* state)
      : zone_(static_cast<const UnpackedZone*>(state->zone())) {
    SuccessorList successors;
    system->successors(state, true, false, successors);
    for (const WaitingEntry& e : successors) {
      std::vector<const ClockGuard*> g;
      for (const Transition* t : {e.first.get(), e.second.get()})
        if (t)
          for (const Ref<Guard>& guard : t->guards())
            if (guard->kind() == 4) g.push_back(static_cast<const ClockGuard*>(guard.get()));
      guards_.push_back(std::move(g));
    }
    delays_ = system->isTimeStopped(state) ? 0 : 72;
    for (const ::Point& p : grid(zone_->dimension(), every(2, 72)))
      if (contains(*zone_, p, unit)) points_.push_back({p, deadlockedAt(p)});
  }

  const std::vector<Point>& points() const { return points_; }
  bool someDeadlocked() const {
    return std::any_of(points_.begin(), points_.end(), [](const Point& p) { return p.deadlocked; });
  }

 private:
  bool deadlockedAt(const ::Point& p) const {
    ::Point w(p);
    for (const auto& g : guards_)
      for (int d = 0; d <= delays_; ++d) {
        for (std::size_t k = 1; k < p.size(); ++k) w[k] = p[k] + d;
        if (!contains(*zone_, w, unit)) continue;
        if (std::all_of(g.begin(), g.end(), [&](const ClockGuard* c) {
              return within(w[c->first()] - w[c->second()], c->rawBound(), unit);
            }))
          return false;
      }
    return true;
  }

  const UnpackedZone* zone_;
  std::vector<std::vector<const ClockGuard*>> guards_;
  int delays_;
  std::vector<Point> points_;
};

// The formula at one valuation of the state.
bool holdsAt(const TCTLExpression* f, GlobalState* state, const Valuations::Point& p) {
  switch (f->typeCode()) {
    case TCTLExpression::clockType: {
      const auto* c = static_cast<const ClockExpr*>(f);
      return within(p.values[c->first()] - p.values[c->second()], c->rawBound(), Valuations::unit);
    }
    case TCTLExpression::deadlockType:
      return p.deadlocked;
    case TCTLExpression::andType: {
      const auto* a = static_cast<const AndExpr*>(f);
      return holdsAt(a->left(), state, p) && holdsAt(a->right(), state, p);
    }
    case TCTLExpression::orType: {
      const auto* o = static_cast<const OrExpr*>(f);
      return holdsAt(o->left(), state, p) || holdsAt(o->right(), state, p);
    }
    case TCTLExpression::notType:
      return !holdsAt(static_cast<const NotExpr*>(f)->operand(), state, p);
    default:
      return f->satisfiedBy(state);  // location, integer and true tests leave the zone alone
  }
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
    EXPECT_EQ(before->relation(s.get()), Zone::equal) << "the predicate leaves the state alone";
  }
}

TEST_F(Deadlock, PackedZoneIsReadAsWellAndWithoutASystemNothingIsEnabled) {
  load(upperGuard);
  Ref<GlobalState> s = initial("x <= 10");
  s->setZone(s->zone()->pack());
  EXPECT_TRUE(deadlocked(s.get()));
  EXPECT_TRUE(s->isPacked());
  EXPECT_TRUE(CddDeadlockExpr(nullptr).satisfiedBy(initial("x <= 3").get()));
}

// A failure of the diagram library is no answer: neither "deadlock" nor "no deadlock".
TEST_F(Deadlock, AFailingDiagramLibraryGivesNoAnswer) {
  load(upperGuard);
  Ref<GlobalState> s = initial();
  Cdd::done();
  EXPECT_THROW(deadlocked(s.get()), CheckError);
  CheckedProperty p = parsePropertyText("E<> not deadlock and x < 1\n", system_);
  ASSERT_TRUE(p.expression);
  EXPECT_THROW(p.expression->satisfiedBy(s.get()), CheckError);
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
  int stuck = 0, acting = 0;
  for (const char* model : models) {
    load(model);
    for (const Ref<GlobalState>& piece :
         pieces(30, {"", "x <= 2", "y >= 3", "x > y", "x < y + 1 and y <= 4", "x >= 4"})) {
      bool expected = Valuations(system_.get(), piece.get()).someDeadlocked();
      EXPECT_EQ(deadlocked(piece.get()), expected) << model;
      (expected ? stuck : acting) += 1;
    }
  }
  EXPECT_GT(stuck, 10);
  EXPECT_GT(acting, 10);
}

// Random formulas over clock constraints, "and", "or", "not", "imply", locations and deadlock on
// reachable states and parts of them: the state satisfies a formula exactly when some sampled
// valuation does, and the zone it is narrowed to holds only valuations that satisfy it (when no
// deadlock literal is involved, which holds for some valuations of its clause only).
TEST_F(Deadlock, FormulasAgreeWithSampledValuations) {
  const char* const atoms[] = {"x < 3",  "x >= 2",    "y > 1",      "y <= 4", "x == 2",
                               "y != 3", "x < y + 2", "x >= y - 1", "x > y",  "deadlock",
                               "P.s",    "n == 1",    "x <= 4",     "y >= 3", "true"};
  std::mt19937 random(14);
  std::function<std::string(int)> make = [&](int depth) -> std::string {
    int pick = int(random() % 10);
    if (depth == 0 || pick < 3) return atoms[random() % std::size(atoms)];
    if (pick < 5) return "not (" + make(depth - 1) + ")";
    const char* ops[] = {" and ", " or ", " imply "};
    return "(" + make(depth - 1) + ops[random() % 3] + make(depth - 1) + ")";
  };
  load(R"(
clock x, y;
int[0,3] n;
process P {
  state s { x <= 5 }, t { y <= 2 }, u;
  init s;
  trans s -> t { guard x > 2, y < 3; assign y := 0, n := n + 1; },
        s -> u { guard x <= y + 1, y >= 4; },
        t -> s { guard y == 2, x < 5; },
        t -> t { guard x > y + 3; assign x := 0; },
        u -> t { guard x == 4; assign x := 0; };
}
system P;
)");
  int satisfied = 0, refused = 0;
  for (const Ref<GlobalState>& piece : pieces(12, {"", "x <= 2", "x > y", "y >= 3 and x < 4"})) {
    Valuations sampled(system_.get(), piece.get());
    for (int k = 0; k < 12; ++k) {
      std::string text = make(3);
      CheckedProperty p = parsePropertyText("E<> " + text + "\n", system_);
      ASSERT_TRUE(p.expression) << text << ": " << p.diagnostics;
      auto holds = [&](const Valuations::Point& v) {
        return holdsAt(p.expression.get(), piece.get(), v);
      };
      bool expected = std::any_of(sampled.points().begin(), sampled.points().end(), holds);
      Ref<GlobalState> narrowed(piece->copy());
      ASSERT_EQ(p.expression->satisfiedBy(narrowed.get()), expected) << text;
      (expected ? satisfied : refused) += 1;
      if (!expected) continue;
      int r = piece->relation(narrowed.get());
      EXPECT_TRUE(r == Zone::argIncludedIn || r == Zone::equal) << text;
      if (text.find("deadlock") != std::string::npos) continue;
      const auto* zone = static_cast<const UnpackedZone*>(narrowed->zone());
      for (const Valuations::Point& v : sampled.points())
        EXPECT_TRUE(!contains(*zone, v.values, Valuations::unit) || holds(v)) << text;
    }
  }
  EXPECT_GT(satisfied, 100);
  EXPECT_GT(refused, 100);
}

}  // namespace
