// Runs a built program with arguments and standard input, collecting its outputs and status.
#pragma once
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"

extern char** environ;

struct RunResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out, err;
};

inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeWholeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh path in the test's temporary directory.
inline std::string tempPath(const std::string& name) {
  static int counter = 0;
  return testing::TempDir() + "verify_" + std::to_string(getpid()) + "_" +
         std::to_string(counter++) + "_" + name;
}

inline RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::string& input = "") {
  const std::string paths[] = {tempPath("in"), tempPath("out"), tempPath("err")};
  writeWholeFile(paths[0], input);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd)
    posix_spawn_file_actions_addopen(&actions, fd, paths[fd].c_str(),
                                     fd ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY, 0600);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  RunResult result;
  pid_t pid;
  int status = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0 &&
      waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  posix_spawn_file_actions_destroy(&actions);
  result.out = readWholeFile(paths[1]);
  result.err = readWholeFile(paths[2]);
  for (const std::string& path : paths) std::remove(path.c_str());
  return result;
}

inline RunResult runVerify(const std::vector<std::string>& args) {
  return runProgram(QUORIX_VERIFY_PATH, args);
}

inline std::string sourcePath(const std::string& relative) {
  return std::string(QUORIX_SOURCE_DIR) + "/" + relative;
}
