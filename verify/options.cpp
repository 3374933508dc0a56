// The command line of quorix-verify: options, the model file and the queries.
#include "verify/options.h"

#include <cstddef>
#include <cstdlib>
#include <initializer_list>

namespace {

// Index of value in names, or -1.
int choose(const std::string& value, std::initializer_list<const char*> names) {
  int k = 0;
  for (const char* name : names) {
    if (value == name) return k;
    ++k;
  }
  return -1;
}

// A positive decimal number, the whole text; 0 when it is none.
double positiveNumber(const std::string& text) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return 0;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (*end != 0 || !(value > 0) || value > 1e9) return 0;
  return value;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

}  // namespace

std::string parseCommandLine(const std::vector<std::string>& args, CommandLine& line) {
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    std::string arg = args[k];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    // "--name=value" is the same as "--name value".
    std::string value;
    bool inlineValue = false;
    if (arg.compare(0, 2, "--") == 0) {
      std::size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
        arg.erase(equals);
        inlineValue = true;
      }
    }
    auto takeValue = [&]() -> bool {
      if (inlineValue) return true;
      if (k + 1 >= args.size()) return false;
      value = args[++k];
      return true;
    };
    auto flag = [&](bool& target) -> std::string {
      if (inlineValue) return "option '" + arg + "' takes no value";
      target = true;
      return "";
    };

    std::string error;
    if (arg == "--order") {
      if (!takeValue()) return "option '--order' needs a value: bfs or dfs";
      int choice = choose(value, {"bfs", "dfs"});
      if (choice < 0) return "bad value '" + value + "' for --order: bfs or dfs expected";
      line.depthFirst = choice == 1;
    } else if (arg == "--reduction") {
      if (!takeValue()) return "option '--reduction' needs a value: 0, 1 or 2";
      int choice = choose(value, {"0", "1", "2"});
      if (choice < 0) return "bad value '" + value + "' for --reduction: 0, 1 or 2 expected";
      line.reduction = choice;
    } else if (arg == "--representation") {
      if (!takeValue())
        return "option '--representation' needs a value: full, packed, bitstate or hull";
      int choice = choose(value, {"full", "packed", "bitstate", "hull"});
      if (choice < 0)
        return "bad value '" + value +
               "' for --representation: full, packed, bitstate or hull expected";
      line.representation = choice;
    } else if (arg == "--abstraction") {
      if (!takeValue()) return "option '--abstraction' needs a value: global, lu or alu";
      int choice = choose(value, {"global", "lu", "alu"});
      if (choice < 0)
        return "bad value '" + value + "' for --abstraction: global, lu or alu expected";
      line.abstraction = choice;
    } else if (arg == "--time-limit") {
      if (!takeValue()) return "option '--time-limit' needs a number of seconds";
      line.timeLimit = positiveNumber(value);
      if (line.timeLimit == 0)
        return "bad value '" + value + "' for --time-limit: a positive number of seconds expected";
    } else if (arg == "--memory-limit") {
      if (!takeValue()) return "option '--memory-limit' needs a number of MiB";
      double mib = positiveNumber(value);
      if (mib < 1 || mib != double(long(mib)))
        return "bad value '" + value + "' for --memory-limit: a whole number of MiB expected";
      line.memoryLimit = long(mib);
    } else if (arg == "--dot") {
      if (!takeValue() || value.empty()) return "option '--dot' needs a file name";
      line.dotFile = value;
    } else if (arg == "-q" || arg == "--query") {
      if (!takeValue()) return "option '" + arg + "' needs a property";
      line.queryOptions.push_back(value);
    } else if (arg == "--reuse") {
      error = flag(line.reuse);
    } else if (arg == "--active-clocks") {
      error = flag(line.activeClocks);
    } else if (arg == "--trace") {
      error = flag(line.trace);
    } else if (arg == "--json") {
      error = flag(line.json);
    } else if (arg == "--help" || arg == "-h") {
      error = flag(line.help);
    } else if (arg == "--version") {
      error = flag(line.version);
    } else {
      return "unknown option '" + arg + "'";
    }
    if (!error.empty()) return error;
  }
  if (line.help || line.version) return "";
  if (files.empty()) return "no model file given";
  if (files.size() > 2) return "too many arguments: '" + files[2] + "'";
  line.modelFile = files[0];
  if (files.size() == 2) line.queriesFile = files[1];
  return "";
}

const char* usageText() {
  return "Usage: quorix-verify [options] MODEL.gta [QUERIES]\n"
         "\n"
         "Checks the properties in QUERIES (one per line; blank lines and lines starting\n"
         "with // are skipped) and those given with -q on the model in MODEL.gta (- reads\n"
         "the model from standard input).\n"
         "\n"
         "Options:\n"
         "  -q, --query PROPERTY    check PROPERTY (may be given several times)\n"
         "  --order bfs|dfs         breadth-first (default) or depth-first search\n"
         "  --reduction 0|1|2       storage reduction: 0 store every state, 1 (default)\n"
         "                          skip committed states, 2 store loop entries only\n"
         "  --representation full|packed|bitstate|hull\n"
         "                          passed-list representation (default full); bitstate\n"
         "                          and hull approximate and may answer \"maybe\"\n"
         "  --abstraction alu|lu|global\n"
         "                          zone abstraction of reachability checks: local lower and\n"
         "                          upper clock bounds with aLU subsumption (default) or with\n"
         "                          ExtraLU+ alone, or global maximal constants\n"
         "  --reuse                 continue the previous property's exploration when possible\n"
         "  --active-clocks         free clocks that no location reads before resetting them\n"
         "  --trace                 print a diagnostic trace for each witness or counterexample\n"
         "  --time-limit SECONDS    stop a check that runs longer: its verdict is unknown\n"
         "  --memory-limit MIB      stop a check when the process holds more memory\n"
         "  --json                  one JSON object per property or error on standard output\n"
         "  --dot FILE              write the network as a Graphviz graph to FILE\n"
         "  --help                  show this text\n"
         "  --version               show the version\n"
         "\n"
         "Ctrl-C stops the check under way (its verdict is unknown) and the run.\n"
         "\n"
         "Exit status: 0 every property satisfied, 1 some property not satisfied, 2 bad\n"
         "usage, an unreadable file, a rejected model or property, or a check that failed,\n"
         "3 none of these but some property maybe satisfied or unknown.\n";
}

std::vector<PropertySource> splitQueries(const std::string& text, const std::string& origin) {
  std::vector<PropertySource> queries;
  std::size_t start = 0;
  int number = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++number;
    std::string line;
    for (std::size_t k = start; k < end; ++k)
      if (text[k] != '\r') line += text[k];
    start = end + 1;

    std::size_t first = 0, last = line.size();
    while (first < last && isSpace(line[first])) ++first;
    while (last > first && isSpace(line[last - 1])) --last;
    line = line.substr(first, last - first);
    if (line.empty() || line.compare(0, 2, "//") == 0) continue;
    queries.push_back({line, origin + ":" + std::to_string(number)});
  }
  return queries;
}
