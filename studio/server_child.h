// studio/server_child.h: a quorix-server child process spoken to over two pipes.
#pragma once
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <string>

// One running quorix-server. The studio does not interpret replies: after each request it
// sends a request word that is fresh and random, whose "Unknown command" reply can come from
// nothing else, and the reply to the request is everything read before that one.
class ServerChild {
public:
  // What became of an exchange: answered, the child ended before answering (it was stopped,
  // or it died), or no answer came in time (the child still runs).
  enum class Outcome { answered, ended, timedOut };
  using Deadline = std::chrono::steady_clock::time_point;

  // Starts the program at `path` and reads its greeting. isRunning() tells whether it worked.
  explicit ServerChild(const std::string& path);
  // Stops the child if it still runs and waits for it.
  ~ServerChild();
  ServerChild(const ServerChild&) = delete;
  ServerChild& operator=(const ServerChild&) = delete;

  bool isRunning() const { return pid_.load() > 0 && !ended_; }
  pid_t pid() const { return pid_.load(); }

  // Sends `request` (complete lines) and reads its reply into `reply`, line ends included.
  // Blocks until the child answers or ends, or until the deadline. One exchange at a time.
  Outcome exchange(const std::string& request, std::string& reply, Deadline deadline = Deadline::max());

  // Stops the child with SIGKILL; safe to call from another thread during exchange(), which
  // then returns Outcome::ended.
  void kill();

private:
  bool readLine(std::string& line, Deadline deadline);  // false at end of output or deadline
  bool writeAll(const std::string& text);

  std::atomic<pid_t> pid_{-1};
  int toChild_ = -1;
  int fromChild_ = -1;
  bool ended_ = false;
  bool timedOut_ = false;
  std::string buffer_;  // read from the child but not yet taken as lines
};
