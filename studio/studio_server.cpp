// The studio's web server.
#include "studio/studio_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "studio/file_access.h"
#include "studio/server_child.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string randomHex(std::size_t bytes) {
  std::random_device device;
  std::string text;
  const char* digits = "0123456789abcdef";
  for (std::size_t k = 0; k < bytes; ++k) {
    unsigned value = device() & 0xFFu;
    text += digits[value >> 4];
    text += digits[value & 0xFu];
  }
  return text;
}

// Compares without stopping at the first difference, so timing tells nothing about the token.
bool sameSecret(const std::string& given, const std::string& secret) {
  if (given.size() != secret.size()) return false;
  unsigned char difference = 0;
  for (std::size_t k = 0; k < secret.size(); ++k)
    difference |= static_cast<unsigned char>(given[k] ^ secret[k]);
  return difference == 0;
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char code[8];
          std::snprintf(code, sizeof code, "\\u%04x", c);
          out += code;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string firstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

std::string readWhole(const fs::path& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  std::string text(limit, '\0');
  in.read(text.data(), static_cast<std::streamsize>(limit));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

void sendError(httplib::Response& response, int status, const std::string& message) {
  response.status = status;
  response.set_content(message + "\n", "text/plain; charset=utf-8");
}

// Runs quorix-verify on a model text and returns its diagnostics and the network's graph, as
// JSON: {"accepted": bool, "diagnostics": text, "dot": text}.
std::string readModel(const std::string& verifyPath, const std::string& model) {
  char pattern[] = "/tmp/quorix-studio-XXXXXX";
  if (!mkdtemp(pattern)) return "{\"accepted\":false,\"diagnostics\":\"no temporary folder\",\"dot\":\"\"}";
  fs::path folder(pattern);
  fs::path modelPath = folder / "model.gta", dotPath = folder / "network.dot",
           errorPath = folder / "errors.txt";
  std::ofstream(modelPath, std::ios::binary) << model;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> args{verifyPath, "--dot", dotPath.string(), modelPath.string()};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int status = -1;
  if (posix_spawn(&pid, verifyPath.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    // A reader that does not finish in 20 s is stopped; its model counts as rejected.
    auto deadline = Clock::now() + std::chrono::seconds(20);
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (Clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        status = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  bool accepted = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::string diagnostics = readWhole(errorPath, 64 * 1024);
  std::string dot = accepted ? readWhole(dotPath, 16 * 1024 * 1024) : "";
  std::error_code error;
  fs::remove_all(folder, error);
  return std::string("{\"accepted\":") + (accepted ? "true" : "false") +
         ",\"diagnostics\":" + jsonString(diagnostics) + ",\"dot\":" + jsonString(dot) + "}";
}

}  // namespace

// One browser session: a quorix-server child, and what the page has set up in it (model,
// options, start state) so that a fresh child gets the same after a cancelled check.
class StudioSession {
public:
  StudioSession(std::string serverPath, std::chrono::seconds requestTimeout)
      : serverPath_(std::move(serverPath)), requestTimeout_(requestTimeout) {
    touch();
    child_ = std::make_unique<ServerChild>(serverPath_);
  }

  bool isRunning() const { return child_ && child_->isRunning(); }
  bool isBusy() const { return busy_; }
  Clock::time_point lastUsed() const { return Clock::time_point(Clock::duration(lastUsed_.load())); }

  // Sends one request and returns the HTTP status: 200 with the child's reply, 409 when the
  // exchange was cancelled, 502 when the child ended on its own, 504 when a request other
  // than modelCheck found no answer in time (it was incomplete, say). In each failure a fresh
  // child is started with the model, options and start state again.
  int exchange(const std::string& request, std::string& reply) {
    std::lock_guard<std::mutex> lock(exchangeMutex_);
    touch();
    if (!child_->isRunning()) restart();  // stopped between two exchanges
    cancelled_ = false;
    startedAt_ = Clock::now().time_since_epoch().count();
    busy_ = true;
    ServerChild::Deadline deadline = firstLine(request) == "modelCheck"
                                         ? ServerChild::Deadline::max()
                                         : Clock::now() + requestTimeout_;
    ServerChild::Outcome outcome = child_->exchange(request, reply, deadline);
    busy_ = false;
    touch();
    if (outcome == ServerChild::Outcome::answered) {
      remember(request, reply);
      return 200;
    }
    int status = cancelled_ ? 409 : outcome == ServerChild::Outcome::timedOut ? 504 : 502;
    reply = status == 409   ? "cancelled\n"
            : status == 504 ? "the server did not answer in time\n"
                            : "the server ended without answering\n";
    if (!closing_) restart();
    return status;
  }

  // Stops a running exchange. False when none runs. When the session is closing, the
  // exchange ends without starting a fresh child.
  bool cancel(bool closing = false) {
    std::lock_guard<std::mutex> lock(childMutex_);
    if (closing) closing_ = true;
    if (!busy_) return false;
    cancelled_ = true;
    child_->kill();
    return true;
  }

  // {"busy": bool, "seconds": elapsed, "cpuSeconds": ..., "memoryKB": resident size}
  std::string progress() {
    pid_t pid;
    {
      std::lock_guard<std::mutex> lock(childMutex_);
      pid = child_ ? child_->pid() : -1;
    }
    bool busy = busy_;
    double seconds = 0;
    if (busy) {
      Clock::duration elapsed = Clock::now().time_since_epoch() - Clock::duration(startedAt_.load());
      seconds = std::chrono::duration<double>(elapsed).count();
    }
    long memoryKB = 0;
    double cpuSeconds = 0;
    if (pid > 0) {
      std::ifstream status("/proc/" + std::to_string(pid) + "/status");
      for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) memoryKB = std::atol(line.c_str() + 6);
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
      std::size_t close = text.rfind(')');
      if (close != std::string::npos) {
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        unsigned long long user = 0, system = 0;
        for (int k = 3; k <= 15 && fields >> field; ++k) {
          if (k == 14) user = std::stoull(field);
          if (k == 15) system = std::stoull(field);
        }
        cpuSeconds = static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
      }
    }
    std::ostringstream json;
    json << "{\"busy\":" << (busy ? "true" : "false") << ",\"seconds\":" << seconds
         << ",\"cpuSeconds\":" << cpuSeconds << ",\"memoryKB\":" << memoryKB << "}";
    return json.str();
  }

private:
  void touch() { lastUsed_ = Clock::now().time_since_epoch().count(); }

  // Keeps what a fresh child needs to be in the same place: the last model, every option's
  // last line, the last start state (a new model drops it).
  void remember(const std::string& request, const std::string& reply) {
    if (reply.rfind("ok\n", 0) != 0) return;
    std::string word = firstLine(request);
    if (word == "newSystem") {
      model_ = request;
      startState_.clear();
    } else if (word == "startState") {
      startState_ = request;
    } else if (word == "setOptions") {
      std::istringstream lines(request.substr(word.size() + 1));
      for (std::string line; std::getline(lines, line) && line != ".";)
        options_[line.substr(0, line.find(' '))] = line;
    }
  }

  void restart() {
    auto fresh = std::make_unique<ServerChild>(serverPath_);
    {
      std::lock_guard<std::mutex> lock(childMutex_);
      child_.swap(fresh);
    }
    fresh.reset();
    std::string reply;
    if (!options_.empty()) {
      std::string request = "setOptions\n";
      for (const auto& [name, line] : options_) request += line + "\n";
      child_->exchange(request + ".\n", reply);
    }
    if (!model_.empty()) child_->exchange(model_, reply);
    if (!startState_.empty()) child_->exchange(startState_, reply);
  }

  std::string serverPath_;
  std::chrono::seconds requestTimeout_;
  std::mutex exchangeMutex_;  // one exchange at a time
  std::mutex childMutex_;     // guards replacing child_ against cancel() and progress()
  std::unique_ptr<ServerChild> child_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> closing_{false};
  std::atomic<Clock::rep> startedAt_{0};
  std::atomic<Clock::rep> lastUsed_{0};
  std::string model_;
  std::map<std::string, std::string> options_;
  std::string startState_;
};

StudioServer::StudioServer(StudioConfig config)
    : config_(std::move(config)), http_(std::make_unique<httplib::Server>()), token_(randomHex(16)) {
  http_->set_payload_max_length(config_.maxRequestBytes);
  installRoutes();
}

StudioServer::~StudioServer() {
  stop();
  if (reaper_.joinable()) reaper_.join();
}

int StudioServer::bind() {
  if (config_.port == 0)
    port_ = http_->bind_to_any_port("127.0.0.1");
  else
    port_ = http_->bind_to_port("127.0.0.1", config_.port) ? config_.port : -1;
  return port_;
}

std::string StudioServer::url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + token_;
}

void StudioServer::run() {
  reaper_ = std::thread([this] { reapIdleSessions(); });
  http_->listen_after_bind();
}

void StudioServer::stop() {
  {
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    stopping_ = true;
    // A running check would hold its worker thread, and so the server's end, until it finished.
    for (auto& [id, session] : sessions_) session->cancel(true);
    sessions_.clear();
  }
  http_->stop();
}

bool StudioServer::hostIsAllowed(const std::string& host) const {
  // A page from another site that renames itself to 127.0.0.1 through its own DNS still sends
  // its own name as the host.
  std::string port = ":" + std::to_string(port_);
  return host == "127.0.0.1" + port || host == "localhost" + port;
}

std::shared_ptr<StudioSession> StudioServer::findSession(const std::string& id) {
  std::lock_guard<std::mutex> lock(sessionsMutex_);
  auto found = sessions_.find(id);
  return found == sessions_.end() ? nullptr : found->second;
}

void StudioServer::reapIdleSessions() {
  for (;;) {
    std::vector<std::shared_ptr<StudioSession>> ended;
    {
      std::lock_guard<std::mutex> lock(sessionsMutex_);
      if (stopping_) return;
      Clock::time_point now = Clock::now();
      for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (!it->second->isBusy() && now - it->second->lastUsed() > config_.idleTime) {
          ended.push_back(it->second);
          it = sessions_.erase(it);
        } else {
          ++it;
        }
      }
    }
    ended.clear();  // children stop here, outside the lock
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
}

void StudioServer::installRoutes() {
  httplib::Server& http = *http_;

  // Every request: the host must be this server's own address; API calls carry the token.
  http.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
    if (!hostIsAllowed(request.get_header_value("Host"))) {
      sendError(response, 403, "forbidden host");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (request.path.rfind("/api/", 0) == 0) {
      std::string token = request.get_header_value("X-Quorix-Token");
      if (token.empty()) token = request.get_param_value("token");
      if (!sameSecret(token, token_)) {
        sendError(response, 401, "missing or wrong token");
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    response.set_header("Cache-Control", "no-store");
    // No other site may frame the page and click on its behalf.
    response.set_header("Content-Security-Policy", "frame-ancestors 'none'");
    response.set_header("X-Frame-Options", "DENY");
    response.set_header("X-Content-Type-Options", "nosniff");
    return httplib::Server::HandlerResponse::Unhandled;
  });

  // The page: a fixed set of files, so no path from the request reaches the file system.
  const std::pair<const char*, const char*> pages[] = {
      {"/", "index.html"}, {"/app.js", "app.js"}, {"/app.css", "app.css"}};
  for (const auto& [route, file] : pages) {
    std::string name = file;
    http.Get(route, [this, name](const httplib::Request&, httplib::Response& response) {
      fs::path path = config_.webDir / name;
      std::error_code error;
      if (!fs::is_regular_file(path, error)) return sendError(response, 404, "not built: " + name);
      const char* type = name.ends_with(".html") ? "text/html; charset=utf-8"
                         : name.ends_with(".js") ? "text/javascript; charset=utf-8"
                                                 : "text/css; charset=utf-8";
      response.set_content(readWhole(path, 64 * 1024 * 1024), type);
    });
  }

  http.Post("/api/sessions", [this](const httplib::Request&, httplib::Response& response) {
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    if (sessions_.size() >= config_.maxSessions)
      return sendError(response, 503, "too many sessions: close another studio page first");
    auto session = std::make_shared<StudioSession>(config_.serverPath, config_.requestTimeout);
    if (!session->isRunning()) return sendError(response, 500, "quorix-server could not be started");
    std::string id = randomHex(8);
    sessions_[id] = session;
    response.set_content("{\"session\":\"" + id + "\"}", "application/json");
  });

  http.Post(R"(/api/sessions/([0-9a-f]+)/request)", [this](const httplib::Request& request,
                                                           httplib::Response& response) {
    std::shared_ptr<StudioSession> session = findSession(request.matches[1]);
    if (!session) return sendError(response, 404, "no such session");
    if (request.body.empty() || request.body.back() != '\n')
      return sendError(response, 400, "a request is whole lines");
    std::string reply;
    response.status = session->exchange(request.body, reply);
    response.set_content(reply, "text/plain; charset=utf-8");
  });

  http.Post(R"(/api/sessions/([0-9a-f]+)/cancel)", [this](const httplib::Request& request,
                                                          httplib::Response& response) {
    std::shared_ptr<StudioSession> session = findSession(request.matches[1]);
    if (!session) return sendError(response, 404, "no such session");
    bool cancelled = session->cancel();
    response.set_content(std::string("{\"cancelled\":") + (cancelled ? "true" : "false") + "}",
                         "application/json");
  });

  http.Get(R"(/api/sessions/([0-9a-f]+)/progress)", [this](const httplib::Request& request,
                                                           httplib::Response& response) {
    std::shared_ptr<StudioSession> session = findSession(request.matches[1]);
    if (!session) return sendError(response, 404, "no such session");
    response.set_content(session->progress(), "application/json");
  });

  // Closing: DELETE from scripts, POST from the page's unload beacon.
  auto close = [this](const httplib::Request& request, httplib::Response& response) {
    std::shared_ptr<StudioSession> session;
    {
      std::lock_guard<std::mutex> lock(sessionsMutex_);
      auto found = sessions_.find(request.matches[1]);
      if (found == sessions_.end()) return sendError(response, 404, "no such session");
      session = found->second;
      sessions_.erase(found);
    }
    session->cancel(true);
    response.set_content("{\"closed\":true}", "application/json");
  };
  http.Delete(R"(/api/sessions/([0-9a-f]+))", close);
  http.Post(R"(/api/sessions/([0-9a-f]+)/close)", close);

  http.Post("/api/model", [this](const httplib::Request& request, httplib::Response& response) {
    response.set_content(readModel(config_.verifyPath, request.body), "application/json");
  });

  http.Get("/api/files", [this](const httplib::Request&, httplib::Response& response) {
    std::string json = "{\"files\":[";
    bool first = true;
    for (const std::string& name : FileAccess(config_.folder).list()) {
      json += (first ? "" : ",") + jsonString(name);
      first = false;
    }
    response.set_content(json + "]}", "application/json");
  });

  http.Get("/api/file", [this](const httplib::Request& request, httplib::Response& response) {
    std::optional<std::string> content =
        FileAccess(config_.folder).read(request.get_param_value("path"), config_.maxRequestBytes);
    if (!content) return sendError(response, 403, "not a readable file inside the folder");
    response.set_content(*content, "text/plain; charset=utf-8");
  });

  http.Put("/api/file", [this](const httplib::Request& request, httplib::Response& response) {
    if (!FileAccess(config_.folder).write(request.get_param_value("path"), request.body))
      return sendError(response, 403, "not a writable file inside the folder");
    response.set_content("{\"saved\":true}", "application/json");
  });
}
