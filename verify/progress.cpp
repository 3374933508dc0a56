// The progress line of a long check.
#include "verify/progress.h"

#include <cstdio>
#include <ostream>
#include <string>

#include "server/session.h"

TerminalProgress::TerminalProgress(const Session& session, std::ostream& out)
    : session_(session), out_(out) {}

void TerminalProgress::start() {
  start_ = shown_ = Clock::now();
  ticks_ = 0;
  visible_ = false;
}

bool TerminalProgress::tick(const GlobalState*) {
  // Reading the clock on every state would cost more than some states take.
  if (++ticks_ % 64 != 0) return false;
  Clock::time_point now = Clock::now();
  if (now - start_ < std::chrono::seconds(1) || now - shown_ < std::chrono::milliseconds(250))
    return false;
  shown_ = now;
  CheckStatistics counters = session_.statistics();
  double seconds = std::chrono::duration<double>(now - start_).count();
  // Carriage return, the text, and "erase to the end of the line".
  out_ << '\r' << lineText(counters.explored, counters.stored, counters.waiting, seconds)
       << "\x1b[K" << std::flush;
  visible_ = true;
  return false;
}

void TerminalProgress::finish() {
  if (visible_) out_ << "\r\x1b[K" << std::flush;
  visible_ = false;
}

std::string TerminalProgress::lineText(std::uint64_t explored, std::uint64_t stored,
                                       std::uint64_t waiting, double seconds) {
  double rate = seconds > 0 ? double(explored) / seconds : 0;
  char text[160];
  std::snprintf(text, sizeof text,
                "explored %llu, stored %llu, waiting %llu, %.0f states/s, %.1f s",
                static_cast<unsigned long long>(explored), static_cast<unsigned long long>(stored),
                static_cast<unsigned long long>(waiting), rate, seconds);
  return text;
}
