// server/server.h: the request loop, its command table and the state the handlers share.
#pragma once
#include <cstdint>
#include <istream>
#include <ostream>
#include <string_view>

#include "model/integer.h"
#include "model/ref.h"
#include "server/filter.h"

class GlobalState;
class GlobalStateHasher;
class PassedListFactory;
class Progress;
class StateSpaceEnumeration;
class System;
class TraceStore;
class Transition;
class WaitingListFactory;

// Verification options, kept across model uploads.
struct Options {
  bool order = false;       // depth-first waiting lists
  int reduction = 1;        // storage reduction mode: 0, 1, or any other value
  int representation = 0;   // 0 full zones, 1 packed, 2 bit-state, 3 convex hull
  bool reuse = false;       // continue earlier explorations
  bool activeClocks = false;
  bool trace = false;
};

class Server {
public:
  // Reads requests from `in` and writes replies to `out`; both outlive the server.
  Server(std::istream& in, std::ostream& out);
  ~Server();

  // Writes the greeting and answers requests until `quit` or the end of the input.
  void run();

  using Handler = void (Server::*)();
  struct Command {
    const char* word;
    Handler handler;  // null for quit
  };
  // The table row for a request word, or null.
  static const Command* lookupCommand(std::string_view word);

private:
  // What an option change makes stale.
  enum Drop : unsigned {
    dropWaiting = 1,
    dropPassed = 2,
    dropTraces = 4,
    dropEnumeration = 8,
  };

  void reply(std::string_view line) { writeLine(out_, line); }
  void writeError(const char* message);

  void handleVersion();
  void handleNewSystem();
  void handleSetOptions();
  void handleGetInitialState();
  void handleGetTransitions();
  void handleGetSuccessor();
  void handleStartState();
  void handleModelCheck();

  // "No system received" unless a model is loaded; then rebuilds what a failed setOptions
  // may have dropped.
  void requireSystem();
  // A state in state text from the input; the caller owns it.
  Ref<GlobalState> readState();
  void writeState(const GlobalState* state);
  void writeTransitionLine(const Transition* transition);
  // Writes the trace reply: step counts, then each state reached with its transitions.
  void writeTrace(class Trace& path, class Trace& loop);

  // Forgets the engine objects named by the drop flags.
  void drop(unsigned what);
  // Builds whatever engine object is missing from the current options; nothing without a system.
  void configure();

  static const Command commands_[];

  std::istream& in_;
  NewlineFilterStream filtered_;
  std::ostream& out_;
  Options options_;

  Ref<System> system_;
  Ref<GlobalStateHasher> discreteHasher_;
  Ref<GlobalStateHasher> regionHasher_;
  Ref<PassedListFactory> passedFactory_;
  Ref<WaitingListFactory> waitingFactory_;
  Ref<TraceStore> traceStore_;
  Ref<Progress> progress_;
  Ref<StateSpaceEnumeration> enumeration_;
  Ref<GlobalState> startState_;
  bool convexHullInUse_ = false;
  bool bitStateInUse_ = false;

  // Model checking: the kind of the last property checked (6: nothing to reuse) and the
  // clocks it read, which the active-clock reduction keeps.
  int previousKind_ = 6;
  ClockSet activeClockSet_;
};
