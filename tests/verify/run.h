// Runs a built program with arguments and standard input, collecting its outputs and status.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"

struct RunResult {
  int status = -1;  // exit status, or -1 when the shell did not exit normally
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

// Runs the program through the shell, every argument quoted, with the outputs in files.
inline RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::string& input = "") {
  const std::string in = tempPath("in"), out = tempPath("out"), err = tempPath("err");
  writeWholeFile(in, input);
  std::string command = "'" + program + "'";
  for (const std::string& arg : args) {
    command += " '";
    for (char c : arg) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "'";
  }
  int status = std::system((command + " <" + in + " >" + out + " 2>" + err).c_str());
  RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readWholeFile(out),
                   readWholeFile(err)};
  for (const std::string& path : {in, out, err}) std::remove(path.c_str());
  return result;
}

inline RunResult runVerify(const std::vector<std::string>& args) {
  return runProgram(QUORIX_VERIFY_PATH, args);
}

inline std::string sourcePath(const std::string& relative) {
  return std::string(QUORIX_SOURCE_DIR) + "/" + relative;
}
