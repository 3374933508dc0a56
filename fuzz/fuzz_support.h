// fuzz/fuzz_support.h: what the fuzz targets share: a stream that discards what it is given, a
// progress budget that stops long checks, and the bundled models the targets load.
#pragma once
#include <cstdint>
#include <ostream>
#include <streambuf>

#include "engine/enumeration.h"

// Accepts every character and keeps none.
class DiscardBuffer final : public std::streambuf {
protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

class DiscardStream final : public std::ostream {
public:
  DiscardStream() : std::ostream(&buffer_) {}

private:
  DiscardBuffer buffer_;
};

// Asks a search to stop once it has examined `limit` states, so that a small input describing a
// large state space costs the fuzzer a bounded time instead of being reported as a hang.
class BudgetProgress final : public Progress {
public:
  explicit BudgetProgress(std::uint64_t limit) : limit_(limit) {}
  bool tick(const GlobalState*) override { return ++ticks_ > limit_; }

private:
  std::uint64_t limit_;
  std::uint64_t ticks_ = 0;
};

// A network with synchronisation in both directions, an urgent channel, committed and urgent
// locations, an array and process-local clocks and variables.
inline constexpr const char* handshakeModel = R"(chan a;
urgent chan u;
int[0,3] k[2];
process P {
  clock x;
  int[0,5] n := 1;
  state S0 { x <= 4 }, S1, S2;
  commit S1;
  init S0;
  trans
    S0 -> S1 { guard x >= 1; sync a!; assign n := n + 1, k[0] := 2; },
    S1 -> S2 { sync u?; },
    S2 -> S0 { assign x := 0; };
}
process Q {
  clock y;
  state T0, T1, T2;
  urgent T2;
  init T0;
  trans
    T0 -> T1 { sync a?; assign y := 0, k[0] := 3; },
    T1 -> T2 { sync u!; },
    T2 -> T0 { guard k[0] == 3; };
}
system P, Q;
)";
