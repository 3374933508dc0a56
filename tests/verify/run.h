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
  std::string out;
  std::string err;
};

inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeWholeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// A fresh path in the test's temporary directory.
inline std::string tempPath(const std::string& name) {
  static int counter = 0;
  return testing::TempDir() + "verify_" + std::to_string(getpid()) + "_" +
         std::to_string(counter++) + "_" + name;
}

inline RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::string& input = "") {
  std::string inPath = tempPath("in"), outPath = tempPath("out"), errPath = tempPath("err");
  writeWholeFile(inPath, input);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  RunResult result;
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = readWholeFile(outPath);
  result.err = readWholeFile(errPath);
  std::remove(inPath.c_str());
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return result;
}

inline RunResult runVerify(const std::vector<std::string>& args) {
  return runProgram(QUORIX_VERIFY_PATH, args);
}

inline std::string sourcePath(const std::string& relative) {
  return std::string(QUORIX_SOURCE_DIR) + "/" + relative;
}
