// verify/progress.h: the progress line and the limits of a long check.
#pragma once
#include <chrono>
#include <csignal>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "engine/enumeration.h"
#include "core/session.h"

// Limits of each check; 0 is none.
struct CheckLimits {
  double seconds = 0;
  long mebibytes = 0;  // resident memory of the whole process
};

// Ticked by the searches of the session. Asks the search to stop (tick returns true) once a
// limit is passed or the user interrupted the run, and keeps asking until the next start. With
// a line, once a check has run for a second, rewrites one line on the stream every quarter of a
// second with the session's counters.
class CheckProgress final : public Progress {
 public:
  // The session and the stream must outlive the indicator (the verifier owns all three).
  CheckProgress(const Session& session, std::ostream& out, bool showLine, CheckLimits limits);

  // A check begins now.
  void start();
  bool tick(const GlobalState* state) override;
  // The check has ended: the line, if one was written, is cleared.
  void finish();

  // Why the check under way was asked to stop ("time limit of 5 s", "interrupted"), empty when
  // it was not; and the session's counters at that moment.
  const std::string& stopReason() const { return stopReason_; }
  const CheckStatistics& statisticsAtStop() const { return atStop_; }

  // Asks every check from now on to stop; safe in a signal handler.
  static void interrupt() { interrupted_ = 1; }
  static bool interrupted() { return interrupted_ != 0; }

  // The line's text for the given counters after the given seconds.
  static std::string lineText(std::uint64_t explored, std::uint64_t stored, std::uint64_t waiting,
                              double seconds);
  // The resident memory of the process in KiB, 0 when unknown.
  static long residentKB();

 private:
  using Clock = std::chrono::steady_clock;
  bool stop(std::string reason);

  const Session& session_;
  std::ostream& out_;
  bool showLine_;
  CheckLimits limits_;
  Clock::time_point start_;
  Clock::time_point shown_;
  Clock::time_point measured_;
  std::uint32_t ticks_ = 0;
  bool visible_ = false;
  std::string stopReason_;
  CheckStatistics atStop_;
  static volatile std::sig_atomic_t interrupted_;
};
