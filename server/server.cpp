#include "server/server.h"

#include <new>
#include <string>

#include "base/error.h"

namespace {
constexpr std::size_t kShortestWord = 4;   // quit
constexpr std::size_t kLongestWord = 15;  // getInitialState
}  // namespace

const Server::Command Server::commands_[] = {
    {"quit", nullptr},
    {"version", &Server::handleVersion},
    {"newSystem", &Server::handleNewSystem},
    {"setOptions", &Server::handleSetOptions},
    {"getInitialState", &Server::handleGetInitialState},
    {"getTransitions", &Server::handleGetTransitions},
    {"getSuccessor", &Server::handleGetSuccessor},
    {"startState", &Server::handleStartState},
    {"modelCheck", &Server::handleModelCheck},
};

Server::Server(std::istream& in, std::ostream& out) : in_(in), filtered_(in), out_(out) {}

Server::~Server() = default;

const Server::Command* Server::lookupCommand(std::string_view word) {
  if (word.size() < kShortestWord || word.size() > kLongestWord) return nullptr;
  for (const Command& command : commands_)
    if (word == command.word) return &command;
  return nullptr;
}

void Server::writeError(const char* message) {
  out_ << "error\n" << message << "\n.\n";
  out_.flush();
}

void Server::run() {
  greet();
  while (serveOne()) {
  }
}

void Server::greet() {
  reply("ok");
  reply(".");
}

bool Server::serveOne() {
  for (;;) {
    if (filtered_.eof() || in_.eof()) return false;
    std::string word = readCommandWord(filtered_);
    if (word.empty()) continue;
    try {
      const Command* command = lookupCommand(word);
      if (!command) throw ProtocolError("%s: Unknown command", word.c_str());
      if (!command->handler) return false;
      Session::Scope scope(session_);
      (this->*command->handler)();
    } catch (const ProtocolError& e) {
      writeError(e.what());
    } catch (const InputError& e) {
      writeError(e.what());
    } catch (const CheckError& e) {
      writeError(e.what());
    } catch (const std::bad_alloc&) {
      // The request's allocations are gone with the stack that held them; the session dropped
      // what a check had half built, so the server can answer the next request.
      writeError("Out of memory");
    }
    return true;
  }
}

void Server::handleVersion() {
  reply("ok");
  out_ << "QUORIX version " << "3.2.9" << ", " << "April" << " " << "2002" << " -- server." << '\n';
  out_.flush();
  reply(".");
}
