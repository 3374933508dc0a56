// Runs one protocol transcript against the server: the exact bytes in, the exact bytes out.
//
// Transcript lines:  "> text"  a line sent to standard input (a line feed is added)
//                    "< text"  a line expected on standard output
//                    "$ N"     the expected exit status (0 when absent)
//                    ">@ path" the bytes of a file, sent as they are (path relative to the transcript)
//                    "# ..."   a comment; blank lines are skipped
//                    "%table"  then rows "%| a | b ...": the lines up to "%end" are repeated
//                              once per row, with $1, $2, ... replaced by the row's cells
// Escapes in "<" and ">" text: \r carriage return, \0 NUL, \xHH any byte, \\ backslash,
// \{N}c the character c repeated N times, and \z at the end of a ">" line: no line feed after it.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string unescape(const std::string& text, bool& noNewline) {
  std::string out;
  noNewline = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\' || i + 1 == text.size()) {
      out.push_back(c);
      continue;
    }
    char e = text[++i];
    switch (e) {
      case 'r': out.push_back('\r'); break;
      case '0': out.push_back('\0'); break;
      case '\\': out.push_back('\\'); break;
      case 'z': noNewline = true; break;
      case 'x':
        out.push_back(char(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
        i += 2;
        break;
      case '{': {
        std::size_t close = text.find('}', i);
        long count = std::stol(text.substr(i + 1, close - i - 1));
        out.append(std::size_t(count), text[close + 1]);
        i = close + 1;
        break;
      }
      default: out.push_back('\\'); out.push_back(e);
    }
  }
  return out;
}

std::string payload(const std::string& line) {
  return line.substr(line.size() >= 2 && line[1] == ' ' ? 2 : 1);
}

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    std::cerr << "cannot read " << path << '\n';
    std::exit(2);
  }
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// The transcript's lines with every table written out.
std::vector<std::string> expandTables(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line != "%table") {
      out.push_back(line);
      continue;
    }
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> block;
    while (std::getline(in, line) && line != "%end") {
      if (line.rfind("%|", 0) != 0) {
        block.push_back(line);
        continue;
      }
      std::vector<std::string> cells;
      std::istringstream cellText(line.substr(2));
      for (std::string cell; std::getline(cellText, cell, '|');) {
        std::size_t first = cell.find_first_not_of(' '), last = cell.find_last_not_of(' ');
        cells.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
      }
      rows.push_back(cells);
    }
    for (const std::vector<std::string>& cells : rows)
      for (std::string copy : block) {
        for (std::size_t k = 0; k < cells.size(); ++k) {
          const std::string key = "$" + std::to_string(k + 1);
          for (std::size_t at; (at = copy.find(key)) != std::string::npos;)
            copy.replace(at, key.size(), cells[k]);
        }
        out.push_back(copy);
      }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: transcript PROGRAM FILE\n";
    return 2;
  }
  std::string file = argv[2];
  std::string dir = file.substr(0, file.find_last_of('/') + 1);
  std::string input, expected;
  int expectedStatus = 0;
  for (const std::string& line : expandTables(readFile(file))) {
    if (line.empty() || line[0] == '#') continue;
    bool noNewline = false;
    if (line.rfind(">@", 0) == 0) {
      input += readFile(dir + payload(line.substr(1)));
    } else if (line[0] == '>') {
      input += unescape(payload(line), noNewline);
      if (!noNewline) input += '\n';
    } else if (line[0] == '<') {
      expected += unescape(payload(line), noNewline) + '\n';
    } else if (line[0] == '$') {
      expectedStatus = std::atoi(payload(line).c_str());
    } else {
      std::cerr << file << ": cannot read line: " << line << '\n';
      return 2;
    }
  }

  // The server reads the input from a file; one that never ends is stopped by the test's
  // time limit.
  char inPath[] = "/tmp/transcript-in-XXXXXX", outPath[] = "/tmp/transcript-out-XXXXXX";
  if (close(mkstemp(inPath)) != 0 || close(mkstemp(outPath)) != 0) return 2;
  std::ofstream(inPath, std::ios::binary) << input;
  std::string command = "'" + std::string(argv[1]) + "' < " + inPath + " > " + outPath;
  int status = std::system(command.c_str());
  std::string actual = readFile(outPath);
  unlink(inPath);
  unlink(outPath);

  bool ok = actual == expected;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != expectedStatus) {
    std::cerr << "exit status " << WEXITSTATUS(status) << " (" << status << "), expected "
              << expectedStatus << '\n';
    ok = false;
  }
  std::istringstream a(actual), e(expected);
  std::string al, el;
  for (int n = 1; !ok && (a.good() || e.good()); ++n) {
    bool ha = bool(std::getline(a, al)), he = bool(std::getline(e, el));
    if (ha != he || al != el) {
      std::cerr << "output differs at line " << n << ":\n  expected: "
                << (he ? "\"" + el + "\"" : "(end)") << "\n  actual:   "
                << (ha ? "\"" + al + "\"" : "(end)") << '\n';
      break;
    }
  }
  if (ok) std::cout << "transcript ok: " << file << '\n';
  return ok ? 0 : 1;
}
