// quorix-studio as a browser meets it: a running studio on a scratch folder, asked over HTTP.
// Each guard of the local web server (loopback only, token, host, sizes, children, folder)
// is tried from outside.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;
namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A studio serving a scratch copy of the examples in folder/served, beside a file outside it.
class StudioTest : public testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/studio-test-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    scratch_ = pattern;
    served_ = scratch_ / "served";
    fs::create_directories(served_ / "sub");
    fs::copy(QUORIX_EXAMPLES "/fischer.gta", served_ / "fischer.gta");
    std::ofstream(scratch_ / "outside.gta") << "secret\n";
    fs::create_symlink(scratch_ / "outside.gta", served_ / "link_out.gta");
    fs::create_symlink(scratch_, served_ / "dir_out");
    start();
  }

  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
      EXPECT_TRUE(WIFEXITED(status)) << "the studio did not stop cleanly on SIGTERM";
    }
    std::error_code error;
    fs::remove_all(scratch_, error);
  }

  void start() {
    std::vector<std::string> args = {QUORIX_STUDIO_BINARY, "--max-sessions", "2", "--idle", "2",
                                     "--request-timeout", "2", served_.string()};
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    // Its second line: "Open http://127.0.0.1:PORT/?token=TOKEN".
    std::string text;
    char c;
    while (std::count(text.begin(), text.end(), '\n') < 2 && read(out[0], &c, 1) == 1) text += c;
    close(out[0]);
    std::size_t at = text.find("Open http://127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << text;
    port_ = std::stoi(text.substr(at + 22));
    token_ = text.substr(text.find("token=") + 6);
    token_.pop_back();
    ASSERT_EQ(token_.size(), 32u);
  }

  httplib::Client client(const std::string& host = "127.0.0.1") {
    httplib::Client client(host, port_);
    client.set_read_timeout(30, 0);
    return client;
  }
  httplib::Headers withToken() const { return {{"X-Quorix-Token", token_}}; }

  int status(const httplib::Result& result) { return result ? result->status : -1; }

  std::string newSession() {
    auto result = client().Post("/api/sessions", withToken(), "", "text/plain");
    if (status(result) != 200) return "";
    return result->body.substr(12, 16);  // {"session":"ID"}
  }

  fs::path scratch_, served_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string token_;
};

TEST_F(StudioTest, ListensOnTheLoopbackAddressOnlyAndBoundsRequests) {
  EXPECT_EQ(status(client().Get("/api/files", withToken())), 200);
  // 127.0.0.2 reaches this machine too, but not a socket bound to 127.0.0.1 alone.
  EXPECT_EQ(status(client("127.0.0.2").Get("/api/files", withToken())), -1);
  std::string big((1 << 20) + 1, 'x');
  EXPECT_EQ(status(client().Post("/api/model", withToken(), big, "text/plain")), 413);
  EXPECT_EQ(status(client().Put("/api/file?path=big.gta", withToken(), big, "text/plain")), 413);
  EXPECT_FALSE(fs::exists(served_ / "big.gta"));
}

TEST_F(StudioTest, EveryApiCallNeedsTheToken) {
  struct Call { const char* method; std::string path; };
  const Call calls[] = {
      {"POST", "/api/sessions"},          {"POST", "/api/sessions/00/request"},
      {"POST", "/api/sessions/00/cancel"}, {"GET", "/api/sessions/00/progress"},
      {"DELETE", "/api/sessions/00"},      {"POST", "/api/model"},
      {"GET", "/api/files"},               {"GET", "/api/file?path=fischer.gta"},
      {"PUT", "/api/file?path=new.gta"},
  };
  for (const Call& call : calls) {
    for (const std::string& token : {std::string(), std::string(32, '0'), token_ + "0"}) {
      httplib::Headers headers;
      if (!token.empty()) headers.emplace("X-Quorix-Token", token);
      std::string method = call.method;
      httplib::Result result = method == "GET"    ? client().Get(call.path.c_str(), headers)
                               : method == "POST" ? client().Post(call.path.c_str(), headers, "x\n", "text/plain")
                               : method == "PUT"  ? client().Put(call.path.c_str(), headers, "x\n", "text/plain")
                                                  : client().Delete(call.path.c_str(), headers);
      EXPECT_EQ(status(result), 401) << call.method << " " << call.path << " token '" << token << "'";
    }
  }
  EXPECT_FALSE(fs::exists(served_ / "new.gta"));
  // The token may also come as a parameter (the page's closing beacon cannot set headers).
  EXPECT_EQ(status(client().Get(("/api/files?token=" + token_).c_str())), 200);
}

TEST_F(StudioTest, TheHostHeaderMustNameThisServer) {
  std::string port = std::to_string(port_);
  struct Case { std::string host; int status; };
  const Case cases[] = {
      {"127.0.0.1:" + port, 200},
      {"localhost:" + port, 200},
      {"attacker.example:" + port, 403},  // a rebound DNS name
      {"127.0.0.1.attacker.example:" + port, 403},
      {"127.0.0.1", 403},
      {"127.0.0.1:" + std::to_string(port_ + 1), 403},
  };
  for (const Case& c : cases) {
    httplib::Headers headers = withToken();
    headers.emplace("Host", c.host);
    EXPECT_EQ(status(client().Get("/api/files", headers)), c.status) << c.host;
    EXPECT_EQ(status(client().Get("/", headers)), c.status == 200 ? 200 : 403) << c.host;
  }
}

TEST_F(StudioTest, ChildrenAreBoundedAndEndWithTheirSession) {
  std::string first = newSession(), second = newSession();
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(status(client().Post("/api/sessions", withToken(), "", "text/plain")), 503);
  EXPECT_EQ(status(client().Delete(("/api/sessions/" + first).c_str(), withToken())), 200);
  EXPECT_EQ(status(client().Get(("/api/sessions/" + first + "/progress").c_str(), withToken())), 404);
  EXPECT_FALSE(newSession().empty());
  // Sessions unused for the idle time (2 s here) end on their own.
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  EXPECT_EQ(status(client().Get(("/api/sessions/" + second + "/progress").c_str(), withToken())), 404);
  EXPECT_FALSE(newSession().empty());
  EXPECT_FALSE(newSession().empty());
}

TEST_F(StudioTest, FilesStayInsideTheFolder) {
  const std::string refused[] = {
      "../outside.gta", "sub/../../outside.gta", "sub/../fischer.gta", "..",
      scratch_.string() + "/outside.gta", "/etc/passwd", "link_out.gta", "dir_out/outside.gta",
      "", "sub", "missing/new.gta",
  };
  for (const std::string& path : refused) {
    httplib::Params params{{"path", path}};
    EXPECT_EQ(status(client().Get("/api/file", params, withToken())), 403) << path;
    std::string target = "/api/file?path=" + httplib::detail::encode_query_param(path);
    EXPECT_EQ(status(client().Put(target.c_str(), withToken(), "written\n", "text/plain")), 403) << path;
  }
  EXPECT_EQ(slurp(scratch_ / "outside.gta"), "secret\n");

  auto read = client().Get("/api/file", httplib::Params{{"path", "fischer.gta"}}, withToken());
  ASSERT_EQ(status(read), 200);
  EXPECT_EQ(read->body, slurp(served_ / "fischer.gta"));
  EXPECT_EQ(status(client().Put("/api/file?path=sub/new.q", withToken(), "E<> P1.cs\n", "text/plain")), 200);
  EXPECT_EQ(slurp(served_ / "sub/new.q"), "E<> P1.cs\n");
  auto files = client().Get("/api/files", withToken());
  ASSERT_EQ(status(files), 200);
  EXPECT_EQ(files->body, R"({"files":["fischer.gta","sub/new.q"]})");
}

TEST_F(StudioTest, ACancelledRequestLeavesAFreshServerWithTheSameModel) {
  std::string id = newSession();
  ASSERT_FALSE(id.empty());
  std::string path = "/api/sessions/" + id + "/request";
  auto ask = [&](const std::string& request) { return client().Post(path.c_str(), withToken(), request, "text/plain"); };

  auto loaded = ask("newSystem\nprocess P { clock x; state A { x <= 3 }; init A; } system P;\n.\n");
  ASSERT_EQ(status(loaded), 200);
  EXPECT_EQ(loaded->body, "ok\n\nt(0) P.x \n.\n");
  // The studio does not look into requests: `version` and an unknown word answer as usual.
  EXPECT_EQ(ask("version\n")->body, "ok\nQUORIX version 3.2.9, April 2002 -- server.\n.\n");
  EXPECT_EQ(ask("Quit\n")->body, "error\nQuit: Unknown command\n.\n");

  // A model block that never ends keeps the server waiting until the page cancels.
  int waiting = 0;
  std::thread stuck([&] { waiting = status(ask("newSystem\nprocess Q {\n")); });
  std::string progress;
  for (int k = 0; k < 200 && progress.find("\"busy\":true") == std::string::npos; ++k) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    progress = client().Get(("/api/sessions/" + id + "/progress").c_str(), withToken())->body;
  }
  EXPECT_NE(progress.find("\"busy\":true"), std::string::npos) << progress;
  auto cancelled = client().Post(("/api/sessions/" + id + "/cancel").c_str(), withToken(), "", "text/plain");
  stuck.join();
  EXPECT_EQ(cancelled->body, R"({"cancelled":true})");
  ASSERT_EQ(waiting, 409);

  // The fresh server has the model again.
  const std::string initial = "ok\n0\n.\n1\n0\n6\n.\n.\n.\n";
  EXPECT_EQ(ask("getInitialState\n")->body, initial);
  EXPECT_EQ(status(ask("no line end")), 400);
  // A request left incomplete is not answered; after the request timeout (2 s here) the
  // studio gives up on that server and starts another with the model.
  EXPECT_EQ(status(ask("getTransitions\n0\n.\n")), 504);
  EXPECT_EQ(ask("getInitialState\n")->body, initial);
}

}  // namespace
