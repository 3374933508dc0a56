// server/server.h: the request loop, its command table and the state the handlers share.
#pragma once
#include <cstdint>
#include <istream>
#include <ostream>
#include <string_view>

#include "base/ref.h"
#include "server/filter.h"
#include "core/session.h"

class GlobalState;
class Transition;

class Server {
public:
  // Reads requests from `in` and writes replies to `out`; both outlive the server.
  Server(std::istream& in, std::ostream& out);
  ~Server();

  // Writes the greeting and answers requests until `quit` or the end of the input.
  void run();
  // The same in steps, for a program that serves several clients in turn: the greeting, then
  // one request per call; false once `quit` or the end of the input is reached.
  void greet();
  bool serveOne();

  using Handler = void (Server::*)();
  struct Command {
    const char* word;
    Handler handler;  // null for quit
  };
  // The table row for a request word, or null.
  static const Command* lookupCommand(std::string_view word);

  // The session the handlers drive, for programs that run the server in-process (a progress
  // budget, a model loaded without a request).
  Session& session() { return session_; }

private:
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

  static const Command commands_[];

  std::istream& in_;
  NewlineFilterStream filtered_;
  std::ostream& out_;
  Session session_;
};
