// studio/studio_server.h: the studio's web server: the page, the files of its folder, and one
// quorix-server child per browser session that the page speaks the protocol to.
#pragma once
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}
class StudioSession;

struct StudioConfig {
  std::filesystem::path folder;  // the models and query files the page may open and save
  std::filesystem::path webDir;  // index.html, app.js, app.css
  std::string serverPath;        // quorix-server
  std::string verifyPath;        // quorix-verify, which reads a model for its diagnostics and graph
  std::size_t maxSessions = 4;   // children running at once
  std::chrono::seconds idleTime{900};
  std::chrono::seconds requestTimeout{60};  // for every request but modelCheck, which may run long
  std::size_t maxRequestBytes = 1 << 20;
  int port = 0;  // 0: any free port
};

class StudioServer {
public:
  explicit StudioServer(StudioConfig config);
  ~StudioServer();

  // Binds to 127.0.0.1 and returns the port, or -1.
  int bind();
  // Serves until stop(). bind() first.
  void run();
  void stop();

  // The address to open, with the token that every API call must present.
  std::string url() const;

private:
  void installRoutes();
  bool hostIsAllowed(const std::string& host) const;
  std::shared_ptr<StudioSession> findSession(const std::string& id);
  void reapIdleSessions();

  StudioConfig config_;
  std::unique_ptr<httplib::Server> http_;
  std::string token_;
  int port_ = -1;

  std::mutex sessionsMutex_;
  std::map<std::string, std::shared_ptr<StudioSession>> sessions_;
  bool stopping_ = false;
  std::thread reaper_;
};
