// The command-line verifier: one session, as the server keeps, driven from a command line.
#include "verify/verifier.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "gta/parser.h"
#include "model/globstat.h"
#include "model/integer.h"
#include "model/system.h"
#include "server/error.h"
#include "server/session.h"
#include "tctl/parser.h"
#include "tctl/tctlexpr.h"
#include "trace/trace.h"
#include "verify/dot.h"
#include "verify/format.h"
#include "verify/options.h"
#include "verify/progress.h"
#include "zones/clock.h"
#include "zones/region.h"

namespace {

constexpr const char* programName = "quorix-verify";

const char* kindText(int kind) {
  switch (kind) {
    case propertyAlways:
      return "A[]";
    case propertyReachable:
      return "E<>";
    case propertyPersistent:
      return "E[]";
    case propertyInevitable:
      return "A<>";
    case propertyLeadsTo:
      return "-->";
    default:
      return "?";
  }
}

const char* verdictWords(char verdict) {
  switch (verdict) {
    case 'T':
      return "satisfied";
    case 'M':
      return "maybe satisfied (approximation)";
    default:
      return "not satisfied";
  }
}

// The whole file as the server's protocol would pass it on: carriage returns dropped. Returns
// false with a reason when the file cannot be read.
bool readFile(const std::string& name, std::string& text, std::string& reason) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) {
    reason = std::strerror(errno);
    return false;
  }
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    for (std::size_t k = 0; k < got; ++k)
      if (buffer[k] != '\r') text += buffer[k];
  bool failed = std::ferror(file) != 0;
  if (failed) reason = std::strerror(errno);
  std::fclose(file);
  return !failed;
}

long peakMemoryKB() {
  struct rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return usage.ru_maxrss;
}

struct Property {
  PropertySource source;
  int kind = propertyNone;
  Ref<TCTLExpression> expression;
};

// A diagnostic trace replayed for display: the start state, then each step with the state it
// reaches; the steps from loopFrom on repeat forever.
struct ShownStep {
  TraceStep step;
  Ref<GlobalState> state;
  bool loop = false;
};
struct ShownTrace {
  Ref<GlobalState> start;
  std::vector<ShownStep> steps;
  bool liveness = false;  // a run that goes on forever: a loop, or the last state kept
  std::int32_t loopLength = 0;
};

ShownTrace replayTrace(const Session& session, int kind, const CheckResult& result) {
  ShownTrace shown;
  const System& system = *session.system();
  if (session.startState()) shown.start = system.delayStep(session.startState()->copy(), false);
  std::int32_t pathLength = result.path->length();
  std::int32_t k = 0;
  for (ReplayedStep& step : session.replay(*result.path, *result.loop))
    shown.steps.push_back({step.step, std::move(step.state), k++ >= pathLength});
  shown.liveness =
      kind == propertyPersistent || kind == propertyInevitable || kind == propertyLeadsTo;
  shown.loopLength = result.loop->length();
  return shown;
}

std::vector<std::string> clockItems(const GlobalState& state) {
  if (!state.zone()) return {};
  return zoneConstraints(*state.zone());
}

void writeStateText(const System& system, const GlobalState& state, std::ostream& out,
                    const char* indent) {
  out << indent << "locations  " << join(locationNames(system, state), ", ") << '\n';
  if (ClockInfo::count() > 1) {
    std::vector<std::string> clocks = clockItems(state);
    out << indent << "clocks     " << (clocks.empty() ? "(no constraints)" : join(clocks, ", "))
        << '\n';
  }
  std::vector<std::string> values = variableValues(state);
  if (!values.empty()) out << indent << "variables  " << join(values, ", ") << '\n';
}

void writeTraceText(const System& system, const ShownTrace& trace, std::ostream& out) {
  out << "    trace, " << trace.steps.size()
      << (trace.steps.size() == 1 ? " step:\n" : " steps:\n");
  if (trace.start) {
    out << "      start\n";
    writeStateText(system, *trace.start, out, "        ");
  }
  bool inLoop = false;
  std::size_t number = 0;
  for (const ShownStep& step : trace.steps) {
    ++number;
    if (step.loop && !inLoop) {
      out << "      loop: the following " << trace.loopLength
          << (trace.loopLength == 1 ? " step repeats" : " steps repeat") << " forever\n";
      inLoop = true;
    }
    std::string head = "      step " + std::to_string(number) + ": ";
    bool first = true;
    for (const Transition* edge : {step.step.first.get(), step.step.second.get()}) {
      if (!edge) continue;
      out << (first ? head : std::string(head.size(), ' ')) << edgeText(system, *edge) << '\n';
      first = false;
    }
    writeStateText(system, *step.state, out, "        ");
  }
  if (trace.liveness && trace.loopLength == 0)
    out << "      the run stays in the last state forever\n";
}

std::string jsonStrings(const std::vector<std::string>& items) {
  std::vector<std::string> quoted;
  for (const std::string& item : items) quoted.push_back(jsonString(item));
  return "[" + join(quoted, ",") + "]";
}

std::string stateJson(const System& system, const GlobalState& state) {
  std::string json = "{\"locations\":" + jsonStrings(locationNames(system, state));
  json += ",\"clocks\":" + jsonStrings(clockItems(state));
  json += ",\"variables\":{";
  const IntegerVariables& variables = integerVariables();
  const IntegerValuation* valuation = state.valuation();
  auto cell = [&](std::int32_t k) {
    return valuation && k >= 0 && k < valuation->size() ? std::to_string((*valuation)[k])
                                                        : std::string("null");
  };
  for (std::int32_t v = 0; v < variables.size(); ++v) {
    const IntegerVariable& variable = variables[v];
    if (v) json += ",";
    json += jsonString(variable.name) + ":";
    if (variable.size == 1) {
      json += cell(variable.offset);
      continue;
    }
    json += "[";
    for (std::int32_t k = 0; k < variable.size; ++k)
      json += (k ? "," : "") + cell(variable.offset + k);
    json += "]";
  }
  return json + "}}";
}

std::string edgeJson(const System& system, const Transition& edge) {
  int p = edge.processNumber();
  return "{\"process\":" + jsonString(processName(system, p)) +
         ",\"source\":" + jsonString(locationName(system, p, edge.source())) +
         ",\"target\":" + jsonString(locationName(system, p, edge.destination())) +
         ",\"labels\":" + jsonString(edgeLabels(edge)) + "}";
}

std::string traceJson(const System& system, const ShownTrace& trace) {
  std::string json = "{\"start\":";
  json += trace.start ? stateJson(system, *trace.start) : "null";
  json += ",\"steps\":[";
  bool firstStep = true;
  for (const ShownStep& step : trace.steps) {
    if (!firstStep) json += ",";
    firstStep = false;
    json += "{\"loop\":";
    json += step.loop ? "true" : "false";
    json += ",\"transitions\":[";
    bool firstEdge = true;
    for (const Transition* edge : {step.step.first.get(), step.step.second.get()}) {
      if (!edge) continue;
      if (!firstEdge) json += ",";
      firstEdge = false;
      json += edgeJson(system, *edge);
    }
    json += "],\"state\":" + stateJson(system, *step.state) + "}";
  }
  return json + "]}";
}

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string megabytes(long kilobytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", double(kilobytes) / 1024.0);
  return text;
}

std::string counted(long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Sets the session's options from the command line.
void applyOptions(const CommandLine& line, Session& session) {
  session.setOption(Session::orderOption, line.depthFirst);
  session.setOption(Session::reductionOption, line.reduction);
  session.setOption(Session::representationOption, line.representation);
  session.setOption(Session::reuseOption, line.reuse);
  session.setOption(Session::activeClocksOption, line.activeClocks);
  session.setOption(Session::traceOption, line.trace);
}

}  // namespace

int runVerifier(const CommandLine& line, std::ostream& out, std::ostream& err, bool showProgress) {
  if (line.help) {
    out << usageText();
    return exitSatisfied;
  }
  if (line.version) {
    out << "QUORIX version 3.2.9, April 2002 -- command-line verifier.\n";
    return exitSatisfied;
  }

  std::string modelText, reason;
  if (!readFile(line.modelFile, modelText, reason)) {
    err << programName << ": cannot read model '" << line.modelFile << "': " << reason << '\n';
    return exitError;
  }
  // The server receives a model as a block of whole lines.
  if (modelText.empty() || modelText.back() != '\n') modelText += '\n';

  std::vector<PropertySource> sources;
  if (!line.queriesFile.empty()) {
    std::string queriesText;
    if (!readFile(line.queriesFile, queriesText, reason)) {
      err << programName << ": cannot read queries '" << line.queriesFile << "': " << reason
          << '\n';
      return exitError;
    }
    sources = splitQueries(queriesText, line.queriesFile);
  }
  for (const std::string& text : line.queryOptions) {
    std::string property;
    for (char c : text)
      if (c != '\r') property += c;
    sources.push_back({property, "-q"});
  }

  ParseResult parsed = parseSystem(modelText);
  err << parsed.diagnostics;
  if (!parsed.system) {
    err << programName << ": the model in '" << line.modelFile << "' was rejected\n";
    return exitError;
  }
  Ref<System> system = parsed.system;

  Session session;
  applyOptions(line, session);
  session.setSystem(system);

  if (!line.dotFile.empty()) {
    std::FILE* file = std::fopen(line.dotFile.c_str(), "wb");
    if (!file) {
      err << programName << ": cannot write '" << line.dotFile << "': " << std::strerror(errno)
          << '\n';
      return exitError;
    }
    std::ostringstream graph;
    writeDot(*system, graph);
    const std::string text = graph.str();
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0) written = false;
    if (!written) {
      err << programName << ": cannot write '" << line.dotFile << "'\n";
      return exitError;
    }
  }

  // Every property is read before any is checked, so a typo in the last one costs no run.
  std::vector<Property> properties;
  bool rejected = false;
  for (const PropertySource& source : sources) {
    Property property{source, propertyNone, nullptr};
    std::string diagnostics;
    if (source.text.find('\n') != std::string::npos) {
      diagnostics = "A property is one line.\n";
    } else {
      CheckedProperty checked = parsePropertyText(source.text + "\n", system);
      property.kind = checked.kind;
      property.expression = checked.expression;
      diagnostics = checked.diagnostics;
    }
    if (!property.expression) {
      if (diagnostics.empty()) diagnostics = "Bad property\n";
      err << source.origin << ": " << source.text << '\n' << diagnostics;
      if (diagnostics.back() != '\n') err << '\n';
      rejected = true;
      continue;
    }
    properties.push_back(std::move(property));
  }
  if (rejected) {
    err << programName << ": properties were rejected\n";
    return exitError;
  }

  Ref<TerminalProgress> progress;
  if (showProgress) {
    progress = new TerminalProgress(session, err);
    session.setProgress(progress);
  }

  int satisfied = 0, failed = 0, maybe = 0;
  for (Property& property : properties) {
    if (progress) progress->start();
    auto begin = std::chrono::steady_clock::now();
    CheckResult result;
    try {
      result = session.check(property.kind, std::move(property.expression));
    } catch (const InputError& error) {
      if (progress) progress->finish();
      err << property.source.origin << ": " << property.source.text << '\n' << error.what() << '\n';
      return exitError;
    }
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (progress) progress->finish();
    CheckStatistics counters = session.statistics();
    long memory = peakMemoryKB();
    if (result.verdict == 'T')
      ++satisfied;
    else if (result.verdict == 'M')
      ++maybe;
    else
      ++failed;

    ShownTrace trace;
    bool withTrace = line.trace && result.found;
    if (withTrace) trace = replayTrace(session, property.kind, result);

    if (line.json) {
      out << "{\"text\":" << jsonString(property.source.text)
          << ",\"source\":" << jsonString(property.source.origin) << ",\"kind\":\""
          << kindText(property.kind) << "\",\"verdict\":\"" << result.verdict
          << "\",\"result\":" << jsonString(verdictWords(result.verdict))
          << ",\"statistics\":{\"explored\":" << counters.explored
          << ",\"stored\":" << counters.stored << ",\"seconds\":" << seconds(elapsed)
          << ",\"peakMemoryKB\":" << memory << "}";
      if (line.trace) out << ",\"trace\":" << (withTrace ? traceJson(*system, trace) : "null");
      out << "}\n";
    } else {
      out << property.source.text << '\n';
      out << "    " << verdictWords(result.verdict) << '\n';
      out << "    " << counters.explored << (counters.explored == 1 ? " state" : " states")
          << " explored, " << counters.stored << " stored, " << seconds(elapsed)
          << " s, peak memory " << megabytes(memory) << '\n';
      if (withTrace) writeTraceText(*system, trace, out);
    }
    out.flush();
  }

  if (!line.json) {
    if (properties.empty()) {
      out << "The model in '" << line.modelFile
          << "' was read: " << counted(system->processCount(), "process", "processes") << ", "
          << counted(ClockInfo::count() - 1, "clock", "clocks") << ", "
          << counted(integerVariables().size(), "integer variable", "integer variables")
          << "; no properties given.\n";
    } else {
      out << properties.size() << (properties.size() == 1 ? " property: " : " properties: ")
          << satisfied << " satisfied, " << failed << " not satisfied";
      if (maybe) out << ", " << maybe << " maybe satisfied";
      out << '\n';
    }
  }
  return failed || maybe ? exitNotSatisfied : exitSatisfied;
}

int verifierMain(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  CommandLine line;
  std::string error = parseCommandLine(args, line);
  if (!error.empty()) {
    std::cerr << programName << ": " << error << "\nTry '" << programName
              << " --help' for more information.\n";
    return exitError;
  }
  return runVerifier(line, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
