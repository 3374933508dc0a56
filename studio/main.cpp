// quorix-studio: the browser front end's local web server.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "studio/studio_server.h"

namespace fs = std::filesystem;

namespace {

const char* const usage =
    "Usage: quorix-studio [options] [DIR]\n"
    "\n"
    "Serves QUORIX Studio on 127.0.0.1 for the models and query files in DIR (default: the\n"
    "current folder) and prints the address to open in a browser.\n"
    "\n"
    "Options:\n"
    "  --port N           listen on port N (default: a free port)\n"
    "  --max-sessions N   browser sessions (server children) at once (default 4)\n"
    "  --idle SECONDS     end a session unused this long (default 900)\n"
    "  --request-timeout SECONDS\n"
    "                     restart a server that leaves a request other than a check\n"
    "                     unanswered this long (default 60)\n"
    "  --server PATH      the quorix-server to start (default: beside quorix-studio)\n"
    "  --verify PATH      the quorix-verify that reads models (default: beside quorix-studio)\n"
    "  --web DIR          the built page (default: studio-web beside quorix-studio)\n"
    "  --help             show this text\n";

bool positive(const char* text, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return *text && !*end && value > 0 && value < 1000000;
}

}  // namespace

int main(int argc, char** argv) {
  std::error_code error;
  fs::path home = fs::read_symlink("/proc/self/exe", error).parent_path();
  StudioConfig config;
  config.folder = ".";
  config.serverPath = (home / "quorix-server").string();
  config.verifyPath = (home / "quorix-verify").string();
  config.webDir = home / "studio-web";
  bool folderGiven = false;
  for (int k = 1; k < argc; ++k) {
    std::string arg = argv[k];
    bool hasValue = k + 1 < argc;
    long number = 0;
    if (arg == "--help") {
      std::cout << usage;
      return 0;
    } else if (arg == "--port" && hasValue && positive(argv[k + 1], number) && number < 65536) {
      config.port = static_cast<int>(number);
      ++k;
    } else if (arg == "--max-sessions" && hasValue && positive(argv[k + 1], number)) {
      config.maxSessions = static_cast<std::size_t>(number);
      ++k;
    } else if (arg == "--idle" && hasValue && positive(argv[k + 1], number)) {
      config.idleTime = std::chrono::seconds(number);
      ++k;
    } else if (arg == "--request-timeout" && hasValue && positive(argv[k + 1], number)) {
      config.requestTimeout = std::chrono::seconds(number);
      ++k;
    } else if (arg == "--server" && hasValue) {
      config.serverPath = argv[++k];
    } else if (arg == "--verify" && hasValue) {
      config.verifyPath = argv[++k];
    } else if (arg == "--web" && hasValue) {
      config.webDir = argv[++k];
    } else if (arg.rfind("-", 0) != 0 && !folderGiven) {
      config.folder = arg;
      folderGiven = true;
    } else {
      std::cerr << "quorix-studio: bad argument '" << arg << "'\n" << usage;
      return 2;
    }
  }
  if (!fs::is_directory(config.folder, error)) {
    std::cerr << "quorix-studio: '" << config.folder.string() << "' is not a folder\n";
    return 2;
  }
  // A child that ends while the studio writes to it must not end the studio.
  signal(SIGPIPE, SIG_IGN);
  // SIGINT and SIGTERM are taken by one thread that stops the server, so the sessions end
  // and their children with them; every other thread has them blocked.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  StudioServer server(config);
  if (server.bind() < 0) {
    std::cerr << "quorix-studio: cannot listen on 127.0.0.1\n";
    return 1;
  }
  std::thread([&server, stopSignals] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
  }).detach();
  std::cout << "QUORIX Studio serves " << fs::absolute(config.folder).lexically_normal().string()
            << "\nOpen " << server.url() << std::endl;
  server.run();
  return 0;
}
