// The command-line verifier: one session, as the server keeps, driven from a command line.
#include "verify/verifier.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <new>
#include <sstream>
#include <streambuf>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "gta/parser.h"
#include "model/global_state.h"
#include "model/integer.h"
#include "model/integer_expression.h"
#include "model/process.h"
#include "model/symbol_table.h"
#include "model/system.h"
#include "model/transition.h"
#include "base/error.h"
#include "core/session.h"
#include "tctl/lexer.h"
#include "tctl/parser.h"
#include "model/model_tables.h"
#include "tctl/tctl_expression.h"
#include "trace/trace.h"
#include "verify/dot.h"
#include "verify/format.h"
#include "verify/options.h"
#include "verify/progress.h"
#include "model/clock.h"
#include "zones/zone.h"

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
    case 'U':
      return "unknown";
    default:
      return "not satisfied";
  }
}

// The whole file as the server's protocol would pass it on: carriage returns dropped; the name
// "-" reads standard input. Returns false with a reason when the file cannot be read.
bool readFile(const std::string& name, std::string& text, std::string& reason) {
  bool standardInput = name == "-";
  std::FILE* file = standardInput ? stdin : std::fopen(name.c_str(), "rb");
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
  if (!standardInput) std::fclose(file);
  return !failed;
}

long peakMemoryKB() {
  struct rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return usage.ru_maxrss;
}

struct Property {
  PropertySource source;
  PropertyKind kind = propertyNone;
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

// Collects, while it lives, what the property reader writes to the diagnostics sink, and the
// place of the token the parser stopped at: the token scanned last when the parser reports its
// first syntax error ("Bad property" on a line of its own).
class PropertyDiagnostics : public std::streambuf {
 public:
  explicit PropertyDiagnostics(const PropertyScanner& scanner) : scanner_(scanner) {}
  PropertyDiagnostics(const PropertyDiagnostics&) = delete;
  PropertyDiagnostics& operator=(const PropertyDiagnostics&) = delete;

  std::ostream& stream() { return stream_; }
  const std::string& text() const { return text_; }
  // The place of the syntax error, column 0 when none was reported.
  const TctlPlace& syntaxError() const { return syntaxError_; }

 protected:
  int overflow(int c) override {
    if (c != traits_type::eof()) {
      char ch = char(c);
      xsputn(&ch, 1);
    }
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text_.append(s, std::size_t(n));
    static const std::string report = "Bad property\n";
    std::size_t at = text_.size() >= report.size() ? text_.size() - report.size() : 0;
    if (!syntaxError_.column && text_.compare(at, std::string::npos, report) == 0 &&
        (at == 0 || text_[at - 1] == '\n'))
      syntaxError_ = scanner_.lastToken();
    return n;
  }

 private:
  const PropertyScanner& scanner_;
  std::ostream stream_{this};
  std::string text_;
  TctlPlace syntaxError_;
};

// Why a property cannot be checked; column 0 when no place is known.
struct Rejection {
  std::int32_t column = 0;
  std::string message;
};

// Reads one property with the strict scanner. On failure, the rejection names the place and
// the offending text.
bool readProperty(const PropertySource& source, const Ref<System>& system, Property& property,
                  Rejection& rejection) {
  if (source.text.find('\n') != std::string::npos) {
    rejection.message = "A property is one line.";
    return false;
  }
  // Each property starts outside comment mode: a scanner of its own.
  PropertyScanner scanner;
  scanner.setStrict(true);
  PropertyDiagnostics diagnostics(scanner);
  Diagnostics sink(diagnostics.stream());
  std::istringstream in(source.text + "\n");
  ParsedProperty parsed = parseProperty(in, system, scanner, sink);
  if (parsed.expression && parsed.kind >= propertyAlways && parsed.kind <= propertyLeadsTo) {
    property.kind = parsed.kind;
    property.expression = std::move(parsed.expression);
    return true;
  }
  const TctlPlace& refusal = scanner.firstRefusal();
  const TctlPlace& error = diagnostics.syntaxError();
  if (refusal.column) {
    rejection = {refusal.column, refusal.message};
  } else if (error.column) {
    bool atEnd = error.text.empty() || error.text == "\n";
    rejection = {error.column, atEnd ? "unexpected end of property"
                                     : "unexpected '" + error.text + "'"};
  } else if (parsed.kind == propertyQuit) {
    rejection = {1, "'quit' is not a property"};
  } else {
    std::string text = diagnostics.text();
    while (!text.empty() && text.back() == '\n') text.pop_back();
    rejection.message = text.empty() ? "Bad property" : text;
  }
  return false;
}

// Hears of the values and indices a check takes outside what the model declares, once per
// variable, edge and kind.
class RangeWarnings final : public RangeWatch {
 public:
  // Learns which edge each variable node of the system belongs to.
  explicit RangeWarnings(const System& system) : system_(system) {
    for (int p = 0; p < system.processCount(); ++p) {
      const Process& process = *system.process(p);
      for (int k = 0; k < process.edgeCount(); ++k) {
        const Transition* edge = process.edge(k);
        auto note = [&](const IntegerExpression* e) {
          if (!e) return;
          e->visit([&](const IntegerExpression& node) {
            if (node.shape() == IntegerExpression::Shape::variable) edges_[&node] = edge;
          });
        };
        for (const Ref<Guard>& g : edge->guards())
          if (g->kind() == integerKind) {
            auto* test = static_cast<const IntegerGuard*>(g.get());
            note(test->left());
            note(test->right());
          }
        for (const Ref<Assignment>& a : edge->assignments())
          if (a->kind() == integerKind) {
            auto* update = static_cast<const IntegerAssign*>(a.get());
            note(update->target());
            note(update->value());
          }
      }
    }
  }

  void outOfRange(const VariableExpression& target, std::int32_t value) override {
    note(0, target, value);
  }
  void outOfBounds(const VariableExpression& access, std::int32_t index) override {
    note(1, access, index);
  }

  // The warnings heard since the last call, as texts, and forgets them.
  std::vector<std::string> take() {
    std::vector<std::string> texts;
    for (const auto& [key, value] : heard_) {
      const IntegerVariable* variable = integerVariables().find(std::get<1>(key));
      const Transition* edge = std::get<2>(key);
      std::string name = variable ? variable->name : "???";
      std::string where = edge ? "on " + edgeText(system_, *edge) : "outside the edges";
      if (std::get<0>(key) == 0)
        texts.push_back("value " + std::to_string(value) + " assigned to '" + name +
                        "' is outside its range [" + std::to_string(variable ? variable->lo : 0) +
                        ", " + std::to_string(variable ? variable->hi : 0) + "] and wraps, " +
                        where);
      else
        texts.push_back("index " + std::to_string(value) + " is outside the array '" + name +
                        "' of " + std::to_string(variable ? variable->size : 0) + " elements, " +
                        where);
    }
    heard_.clear();
    return texts;
  }

 private:
  void note(int kind, const VariableExpression& e, std::int32_t value) {
    auto found = edges_.find(&e);
    const Transition* edge = found == edges_.end() ? nullptr : found->second;
    // Enough to tell the user; a long check could hit the same mistake millions of times.
    if (heard_.size() < 20) heard_.emplace(std::make_tuple(kind, e.variable(), edge), value);
  }

  const System& system_;
  std::unordered_map<const IntegerExpression*, const Transition*> edges_;
  std::map<std::tuple<int, std::int32_t, const Transition*>, std::int32_t> heard_;
};

// Installs a range watch on a model's tables for its lifetime.
class WatchScope {
 public:
  WatchScope(ModelTables& tables, RangeWatch* watch) : tables_(tables) {
    tables_.rangeWatch = watch;
  }
  ~WatchScope() { tables_.rangeWatch = nullptr; }
  WatchScope(const WatchScope&) = delete;
  WatchScope& operator=(const WatchScope&) = delete;

 private:
  ModelTables& tables_;
};

// Errors in the form the user asked for: readable lines on the error stream, or JSON objects
// on standard output.
class ErrorReport {
 public:
  ErrorReport(bool json, std::ostream& out, std::ostream& err) : json_(json), out_(out), err_(err) {}

  // A place in a file: "FILE:LINE:COLUMN: message"; a line or column of 0 is left out.
  // A warning does not stop the run (a model that was read all the same).
  void atPlace(const std::string& file, long line, long column, const std::string& message,
               bool warning) {
    if (json_) {
      out_ << "{\"source\":" << jsonString(file) << ",\"line\":" << line
           << ",\"column\":" << column << (warning ? ",\"warning\":" : ",\"error\":")
           << jsonString(message) << "}\n";
      return;
    }
    err_ << file << ':';
    if (line) err_ << line << ':';
    if (column) err_ << column << ':';
    err_ << (warning ? " warning: " : " ") << message << '\n';
  }
  // A property that cannot be checked, with a mark under the place when one is known.
  void property(const PropertySource& source, const Rejection& rejection) {
    if (json_) {
      out_ << "{\"text\":" << jsonString(source.text) << ",\"source\":" << jsonString(source.origin);
      if (rejection.column) out_ << ",\"column\":" << rejection.column;
      out_ << ",\"error\":" << jsonString(rejection.message) << "}\n";
      return;
    }
    // A -q property is line 1 of its own text.
    std::string place = source.origin == "-q" ? "-q 1" : source.origin;
    if (rejection.column) place += ":" + std::to_string(rejection.column);
    err_ << place << ": " << rejection.message << "\n    " << source.text << '\n';
    if (rejection.column > 0 && std::size_t(rejection.column) <= source.text.size() + 1)
      err_ << std::string(std::size_t(rejection.column) + 3, ' ') << "^\n";
  }
  // A check that could not be completed.
  void check(const PropertySource& source, const std::string& message) {
    if (json_) {
      out_ << "{\"text\":" << jsonString(source.text) << ",\"source\":" << jsonString(source.origin)
           << ",\"error\":" << jsonString(message) << "}\n";
      return;
    }
    err_ << programName << ": " << source.origin << ": the check of '" << source.text
         << "' failed: " << message << '\n';
  }
  std::ostream& err() { return err_; }

 private:
  bool json_;
  std::ostream& out_;
  std::ostream& err_;
};

// Sets the session's options from the command line.
void applyOptions(const CommandLine& line, Session& session) {
  session.setOption(Session::orderOption, line.depthFirst);
  session.setOption(Session::reductionOption, line.reduction);
  session.setOption(Session::representationOption, line.representation);
  session.setOption(Session::abstractionOption, line.abstraction);
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
  ErrorReport errors(line.json, out, err);
  const std::string modelName = line.modelFile == "-" ? "<stdin>" : line.modelFile;

  std::string modelText, reason;
  if (!readFile(line.modelFile, modelText, reason)) {
    err << programName << ": cannot read model '" << modelName << "': " << reason << '\n';
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

  // The strict reader's reports are "LINE:COLUMN: message", one per line.
  ParseResult parsed = parseSystem(modelText, true);
  std::istringstream reports(parsed.diagnostics);
  for (std::string report; std::getline(reports, report);) {
    long at = 0, column = 0;
    int used = 0;
    if (std::sscanf(report.c_str(), "%ld:%ld: %n", &at, &column, &used) == 2 && used > 0)
      errors.atPlace(modelName, at, column, report.substr(std::size_t(used)), bool(parsed.system));
    else
      errors.atPlace(modelName, 0, 0, report, bool(parsed.system));
  }
  if (!parsed.system) {
    err << programName << ": the model in '" << modelName << "' was rejected\n";
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

  // Every property is read before any is checked, so a typo in the last one is reported at
  // once; the others are still checked.
  std::vector<Property> properties;
  int rejected = 0;
  for (const PropertySource& source : sources) {
    Property property{source, propertyNone, nullptr};
    Rejection rejection;
    if (readProperty(source, system, property, rejection)) {
      properties.push_back(std::move(property));
    } else {
      errors.property(source, rejection);
      ++rejected;
    }
  }

  Ref<CheckProgress> progress(new CheckProgress(
      session, err, showProgress, CheckLimits{line.timeLimit, line.memoryLimit}));
  session.setProgress(progress);
  RangeWarnings warnings(*system);

  int satisfied = 0, failed = 0, maybe = 0, unknown = 0, broken = 0;
  std::size_t checked = 0;
  for (Property& property : properties) {
    if (CheckProgress::interrupted()) break;
    ++checked;
    progress->start();
    auto begin = std::chrono::steady_clock::now();
    CheckResult result;
    std::string failure;
    bool completed = false;
    try {
      WatchScope watching(*system->tables(), &warnings);
      result = session.check(property.kind, property.expression);
      completed = true;
    } catch (const CheckError& error) {
      failure = error.what();
    } catch (const InputError& error) {
      failure = error.what();
    } catch (const std::bad_alloc&) {
      failure = "out of memory";
    }
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    progress->finish();
    std::string stopped = progress->stopReason();
    // A leads-to search asked to stop ends as if it had found a counterexample; the other
    // searches that go on to the end answer truly.
    if (completed && !stopped.empty() && property.kind != propertyLeadsTo) stopped.clear();
    CheckStatistics counters = stopped.empty() ? session.statistics() : progress->statisticsAtStop();
    if (!completed || !stopped.empty()) {
      // What the search left behind is incomplete: the next check starts afresh.
      session.setSystem(system);
    }
    std::vector<std::string> heard = warnings.take();
    if (stopped.empty() && !completed) {
      ++broken;
      errors.check(property.source, failure);
      continue;
    }
    char verdict = stopped.empty() ? static_cast<char>(result.verdict) : 'U';
    std::string words = verdictWords(verdict);
    if (verdict == 'U') words += " (stopped: " + stopped + ")";
    if (verdict == 'T')
      ++satisfied;
    else if (verdict == 'M')
      ++maybe;
    else if (verdict == 'U')
      ++unknown;
    else
      ++failed;
    long memory = peakMemoryKB();

    ShownTrace trace;
    bool withTrace = line.trace && verdict != 'U' && result.found;
    if (withTrace) trace = replayTrace(session, property.kind, result);

    if (line.json) {
      out << "{\"text\":" << jsonString(property.source.text)
          << ",\"source\":" << jsonString(property.source.origin) << ",\"kind\":\""
          << kindText(property.kind) << "\",\"verdict\":\"" << verdict
          << "\",\"result\":" << jsonString(words)
          << ",\"statistics\":{\"explored\":" << counters.explored
          << ",\"stored\":" << counters.stored << ",\"seconds\":" << seconds(elapsed)
          << ",\"peakMemoryKB\":" << memory << "}";
      if (!heard.empty()) out << ",\"warnings\":" << jsonStrings(heard);
      if (line.trace) out << ",\"trace\":" << (withTrace ? traceJson(*system, trace) : "null");
      out << "}\n";
    } else {
      out << property.source.text << '\n';
      out << "    " << words << '\n';
      out << "    " << counters.explored << (counters.explored == 1 ? " state" : " states")
          << " explored, " << counters.stored << " stored, " << seconds(elapsed)
          << " s, peak memory " << megabytes(memory) << '\n';
      for (const std::string& warning : heard) out << "    warning: " << warning << '\n';
      if (withTrace) writeTraceText(*system, trace, out);
    }
    out.flush();
  }

  if (!line.json) {
    if (sources.empty()) {
      out << "The model in '" << modelName
          << "' was read: " << counted(system->processCount(), "process", "processes") << ", "
          << counted(ClockInfo::count() - 1, "clock", "clocks") << ", "
          << counted(integerVariables().size(), "integer variable", "integer variables")
          << "; no properties given.\n";
    } else {
      out << sources.size() << (sources.size() == 1 ? " property: " : " properties: ")
          << satisfied << " satisfied, " << failed << " not satisfied";
      if (maybe) out << ", " << maybe << " maybe satisfied";
      if (unknown) out << ", " << unknown << " unknown";
      if (rejected) out << ", " << rejected << " rejected";
      if (broken) out << ", " << broken << " failed";
      if (checked < properties.size()) out << ", " << properties.size() - checked << " not checked";
      out << '\n';
    }
  }
  if (rejected || broken) return exitError;
  if (failed) return exitNotSatisfied;
  if (maybe || unknown || checked < properties.size()) return exitUnknown;
  return exitSatisfied;
}

namespace {
extern "C" void onInterrupt(int) { CheckProgress::interrupt(); }
}  // namespace

int verifierMain(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  CommandLine line;
  std::string error = parseCommandLine(args, line);
  if (!error.empty()) {
    std::cerr << programName << ": " << error << "\nTry '" << programName
              << " --help' for more information.\n";
    return exitError;
  }
  // The first Ctrl-C stops the check under way and the run; a second one ends the program.
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  return runVerifier(line, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
