// A quorix-server child process spoken to over two pipes.
#include "studio/server_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

extern char** environ;

namespace {

// A request word of 15 characters that no page can guess.
std::string markWord() {
  static std::atomic<unsigned long long> counter{0};
  thread_local std::mt19937_64 random{std::random_device{}()};
  char word[16];
  std::snprintf(word, sizeof word, "zz%013llx",
                static_cast<unsigned long long>((random() ^ ++counter) & 0xFFFFFFFFFFFFFull));
  return word;
}

}  // namespace

ServerChild::ServerChild(const std::string& path) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv{const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = -1;
  int failed = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  toChild_ = in[1];
  fromChild_ = out[0];
  if (failed != 0) {
    ended_ = true;
    return;
  }
  pid_ = pid;
  std::string line;
  // The greeting is an empty successful reply.
  Deadline deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  if (!readLine(line, deadline) || line != "ok" || !readLine(line, deadline) || line != ".") kill();
}

ServerChild::~ServerChild() {
  kill();
  if (toChild_ >= 0) close(toChild_);
  if (fromChild_ >= 0) close(fromChild_);
}

void ServerChild::kill() {
  pid_t pid = pid_.exchange(-1);
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

bool ServerChild::writeAll(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(toChild_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool ServerChild::readLine(std::string& line, Deadline deadline) {
  for (;;) {
    std::size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      line.assign(buffer_, 0, end);
      buffer_.erase(0, end + 1);
      return true;
    }
    if (deadline != Deadline::max()) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd ready{fromChild_, POLLIN, 0};
      int polled = left.count() > 0 ? poll(&ready, 1, static_cast<int>(left.count())) : 0;
      if (polled < 0 && errno == EINTR) continue;
      if (polled == 0) {
        timedOut_ = true;
        return false;
      }
    }
    char chunk[4096];
    ssize_t n = read(fromChild_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ended_ = true;
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
}

ServerChild::Outcome ServerChild::exchange(const std::string& request, std::string& reply,
                                           Deadline deadline) {
  reply.clear();
  timedOut_ = false;
  std::string word = markWord();
  const std::string mark[] = {"error", word + ": Unknown command", "."};
  if (!isRunning() || !writeAll(request) || !writeAll(word + "\n")) {
    ended_ = true;
    return Outcome::ended;
  }
  // Lines are kept back until it is clear they do not start the mark's reply.
  std::vector<std::string> held;
  std::string line;
  while (readLine(line, deadline)) {
    held.push_back(line);
    std::size_t matched = 0;
    while (matched < held.size() && held[matched] == mark[matched]) ++matched;
    if (matched == 3) return Outcome::answered;
    if (matched == held.size()) continue;
    // The held lines are not the mark's reply: release all but a possible new start.
    std::size_t keep = held.back() == mark[0] ? 1 : 0;
    for (std::size_t k = 0; k + keep < held.size(); ++k) reply += held[k] + '\n';
    held.erase(held.begin(), held.end() - static_cast<std::ptrdiff_t>(keep));
  }
  for (const std::string& kept : held) reply += kept + '\n';
  return timedOut_ ? Outcome::timedOut : Outcome::ended;
}
