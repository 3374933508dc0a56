// verify/options.h: the command line of quorix-verify.
#pragma once
#include <string>
#include <vector>

// Where a property comes from, for messages: a line of the queries file, or a -q argument.
struct PropertySource {
  std::string text;
  std::string origin;  // "FILE:LINE" or "-q"
};

struct CommandLine {
  // The verification options, with the server's defaults but for the abstraction.
  bool depthFirst = false;
  int reduction = 1;
  int representation = 0;  // 0 full, 1 packed, 2 bitstate, 3 hull
  // 0 global maximal constants, 1 local bounds with ExtraLU+, 2 local bounds with aLU
  // subsumption; the strongest by default.
  int abstraction = 2;
  bool reuse = false;
  bool activeClocks = false;
  bool trace = false;

  // Limits of each check, 0 for none: seconds of running time, MiB of resident memory.
  double timeLimit = 0;
  long memoryLimit = 0;

  bool json = false;
  bool help = false;
  bool version = false;
  std::string dotFile;  // empty: no graph
  std::string modelFile;  // "-": standard input
  std::string queriesFile;                // empty: none
  std::vector<std::string> queryOptions;  // the -q texts, in order
};

// Reads the arguments after the program name. Returns an empty string on success, else the
// message for a usage error (the caller adds the program name and the hint to --help).
std::string parseCommandLine(const std::vector<std::string>& args, CommandLine& line);

// The --help text.
const char* usageText();

// The properties of a queries text: one per line, blank lines and lines starting with "//"
// (after white space) skipped, carriage returns dropped, surrounding white space trimmed.
// origin names the file in the sources made.
std::vector<PropertySource> splitQueries(const std::string& text, const std::string& origin);
