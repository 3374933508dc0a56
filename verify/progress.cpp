// The progress line and the limits of a long check.
#include "verify/progress.h"

#include <unistd.h>

#include <cstdio>
#include <ostream>
#include <string>

volatile std::sig_atomic_t CheckProgress::interrupted_ = 0;

CheckProgress::CheckProgress(const Session& session, std::ostream& out, bool showLine,
                             CheckLimits limits)
    : session_(session), out_(out), showLine_(showLine), limits_(limits) {}

void CheckProgress::start() {
  start_ = shown_ = measured_ = Clock::now();
  ticks_ = 0;
  visible_ = false;
  stopReason_.clear();
  atStop_ = CheckStatistics();
}

bool CheckProgress::stop(std::string reason) {
  if (stopReason_.empty()) {
    stopReason_ = std::move(reason);
    atStop_ = session_.statistics();
  }
  return true;
}

bool CheckProgress::tick(const GlobalState*) {
  if (!stopReason_.empty()) return true;
  if (interrupted_) return stop("interrupted");
  // Reading the clock on every state would cost more than some states take.
  if (++ticks_ % 64 != 0) return false;
  Clock::time_point now = Clock::now();
  double seconds = std::chrono::duration<double>(now - start_).count();
  if (limits_.seconds > 0 && seconds >= limits_.seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "time limit of %g s", limits_.seconds);
    return stop(text);
  }
  // The memory is read from the system, at most every 50 ms.
  if (limits_.mebibytes > 0 && now - measured_ >= std::chrono::milliseconds(50)) {
    measured_ = now;
    if (residentKB() > limits_.mebibytes * 1024)
      return stop("memory limit of " + std::to_string(limits_.mebibytes) + " MiB");
  }
  if (!showLine_ || now - start_ < std::chrono::seconds(1) ||
      now - shown_ < std::chrono::milliseconds(250))
    return false;
  shown_ = now;
  CheckStatistics counters = session_.statistics();
  // Carriage return, the text, and "erase to the end of the line".
  out_ << '\r' << lineText(counters.explored, counters.stored, counters.waiting, seconds)
       << "\x1b[K" << std::flush;
  visible_ = true;
  return false;
}

void CheckProgress::finish() {
  if (visible_) out_ << "\r\x1b[K" << std::flush;
  visible_ = false;
}

std::string CheckProgress::lineText(std::uint64_t explored, std::uint64_t stored,
                                    std::uint64_t waiting, double seconds) {
  double rate = seconds > 0 ? double(explored) / seconds : 0;
  char text[160];
  std::snprintf(text, sizeof text,
                "explored %llu, stored %llu, waiting %llu, %.0f states/s, %.1f s",
                static_cast<unsigned long long>(explored), static_cast<unsigned long long>(stored),
                static_cast<unsigned long long>(waiting), rate, seconds);
  return text;
}

long CheckProgress::residentKB() {
  std::FILE* file = std::fopen("/proc/self/statm", "r");
  if (!file) return 0;
  long total = 0, resident = 0;
  bool read = std::fscanf(file, "%ld %ld", &total, &resident) == 2;
  std::fclose(file);
  long page = sysconf(_SC_PAGESIZE);
  return read && page > 0 ? resident * (page / 1024) : 0;
}
