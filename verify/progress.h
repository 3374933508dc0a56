// verify/progress.h: the self-updating progress line of a long check.
#pragma once
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "engine/enumeration.h"

class Session;

// Ticked by the searches of the session; once a check has run for a second, rewrites one line
// on the stream every quarter of a second with the session's counters. Never asks to stop.
class TerminalProgress final : public Progress {
 public:
  // The session and the stream must outlive the indicator (the verifier owns all three).
  TerminalProgress(const Session& session, std::ostream& out);

  // A check begins now.
  void start();
  bool tick(const GlobalState* state) override;
  // The check has ended: the line, if one was written, is cleared.
  void finish();

  // The line's text for the given counters after the given seconds.
  static std::string lineText(std::uint64_t explored, std::uint64_t stored, std::uint64_t waiting,
                              double seconds);

 private:
  using Clock = std::chrono::steady_clock;

  const Session& session_;
  std::ostream& out_;
  Clock::time_point start_;
  Clock::time_point shown_;
  std::uint32_t ticks_ = 0;
  bool visible_ = false;
};
