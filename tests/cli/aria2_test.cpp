// Resolved links handed to a real aria2 (Debian's aria2c, started on loopback
// for each test): the files it then downloads from the fake service, aria2's
// own refusal of a wrong secret, an aria2 that is not running, and the
// answers aria2 or a wrong address may give.
#include "cli/aria2.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "cli/batch.h"
#include "http/fetch.h"
#include "resolver/origin.h"
#include "support/fake_service.h"

extern char** environ;

namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;

// aria2c opens its RPC port in well under a second; this many 50 ms waits
// leave room for a loaded machine.
constexpr int kStartTries = 200;
// A few fresh ports before giving up on starting aria2c.
constexpr int kPortTries = 3;
// Three files of about 1 MiB from loopback take a fraction of a second; this
// many 100 ms polls leave room for a loaded machine.
constexpr int kPollTries = 600;
// The fake service's file size when the dlink names none.
constexpr std::uint64_t kDefaultFileBase = 1048576;

// A loopback port nothing listens on right now.
int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(s);
    return 0;
  }
  close(s);
  return ntohs(address.sin_port);
}

bool Listening(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(s);
  return ok;
}

std::string RandomSecret() {
  std::random_device random;
  std::string secret;
  for (int i = 0; i < 4; ++i) secret += std::to_string(random());
  return secret;
}

std::string RpcUrl(int port) { return "http://127.0.0.1:" + std::to_string(port) + "/jsonrpc"; }

// A fresh folder under the system's temporary folder, removed with its files.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "aria2-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// aria2c with RPC on a free loopback port, ended with the test. It also ends
// by itself when this process does, so a crashed test leaves no aria2c behind.
class Aria2Process {
 public:
  Aria2Process(const std::string& secret, const fs::path& dir) {
    // Another program may take the free port before aria2c binds it.
    for (int attempt = 0; attempt < kPortTries && pid_ == 0; ++attempt) Start(secret, dir);
  }
  ~Aria2Process() {
    if (pid_ == 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  bool running() const { return pid_ != 0 && Listening(port_); }
  std::string url() const { return RpcUrl(port_); }

 private:
  void Start(const std::string& secret, const fs::path& dir) {
    port_ = FreePort();
    std::vector<std::string> args = {"aria2c",
                                     "--enable-rpc",
                                     "--rpc-listen-port=" + std::to_string(port_),
                                     "--rpc-listen-all=false",
                                     "--dir=" + dir.string(),
                                     "--no-conf",
                                     "--daemon=false",
                                     "--quiet",
                                     "--file-allocation=none",
                                     "--stop-with-process=" + std::to_string(getpid())};
    if (!secret.empty()) args.push_back("--rpc-secret=" + secret);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, "aria2c", nullptr, nullptr, argv.data(), environ) != 0) pid_ = 0;
    for (int i = 0; pid_ != 0 && i < kStartTries && !Listening(port_); ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;  // it stopped: the port was taken, or an option refused
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  int port_ = 0;
  pid_t pid_ = 0;
};

// One JSON-RPC call of the test's own, for watching the downloads.
Json Call(const std::string& url, const std::string& secret, const std::string& method, Json params) {
  params.insert(params.begin(), "token:" + secret);
  const Json request = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
  Text headers = "Content-Type: application/json";
  HttpRequestOptions options;
  options.method = 1;
  options.postText = request.dump();
  options.extraHeaders = &headers;
  const Bytes body = HttpFetch(url, options);
  return Json::parse(std::string(body.begin(), body.end()), nullptr, false);
}

// What the fake service serves behind a dlink: byte i is (i * 131 + fs_id) % 251.
std::string ServedBytes(const std::string& dlink) {
  const std::size_t at = dlink.find("/file/") + 6;
  const std::uint64_t fsId = std::stoull(dlink.substr(at));
  std::uint64_t size = kDefaultFileBase + fsId % 1000;
  if (const std::size_t sized = dlink.find("size="); sized != std::string::npos) {
    size = std::stoull(dlink.substr(sized + 5));
  }
  std::string bytes(size, '\0');
  for (std::uint64_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + fsId) % 251);
  return bytes;
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Direct links of shares of the fake service that resolve without a captcha.
std::vector<ShareResult> Resolve(const std::vector<std::string>& codes) {
  std::mutex captchaTurn;
  std::vector<ShareResult> results;
  for (const std::string& code : codes) {
    results.push_back(ResolveOne({std::string(ServiceOrigin) + "/s/" + code, ""}, nullptr, captchaTurn, "captcha"));
    EXPECT_TRUE(results.back().ok()) << code << ": " << results.back().error;
  }
  return results;
}

TEST(Aria2, DownloadsEveryShareOfABatchAsServed) {
  TempDir temp;
  const std::string secret = RandomSecret();
  Aria2Process aria2(secret, temp.path());
  ASSERT_TRUE(aria2.running()) << "aria2c did not start (is Debian's aria2 installed?)";

  const std::vector<ShareResult> shares = Resolve({"1plain", "1second", "1gen5"});
  std::vector<Aria2Item> items;
  for (const ShareResult& s : shares) items.push_back({s.dlink, s.file});
  // A folder aria2 has to make, so the option is seen to arrive.
  const Aria2Target target{aria2.url(), secret, (temp.path() / "batch").string()};
  const std::string agent = "netdisk-link-test/" + fake_service::UniqueToken();

  const Aria2Outcome outcome = PushToAria2(target, items, agent);
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  ASSERT_EQ(outcome.gids.size(), items.size());
  EXPECT_EQ(std::set<std::string>(outcome.gids.begin(), outcome.gids.end()).size(), items.size());

  for (std::size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(items[i].fileName);
    Json status;
    for (int poll = 0; poll < kPollTries; ++poll) {
      status = Call(target.url, secret, "aria2.tellStatus", {outcome.gids[i], {"status", "errorMessage", "files"}});
      const std::string state = status["result"].value("status", "");
      if (state == "complete" || state == "error" || state == "removed") break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(status["result"].value("status", ""), "complete") << status.dump();
    const fs::path saved = fs::path(target.dir) / items[i].fileName;
    EXPECT_EQ(fs::path(status["result"]["files"][0].value("path", "")), saved);
    EXPECT_TRUE(FileBytes(saved) == ServedBytes(items[i].dlink)) << saved;

    // Every request for the file carried the agent the push named.
    const std::string filePath = items[i].dlink.substr(items[i].dlink.find("/file/"));
    const std::string fileTarget = filePath.substr(0, filePath.find('/', 6) + 1);
    int withAgent = 0;
    for (const LoggedRequest& r : fake_service::RequestsMatching(fileTarget)) {
      withAgent += r.Header("User-Agent") == agent;
    }
    EXPECT_GE(withAgent, 1) << fileTarget;
  }
}

TEST(Aria2, AWrongSecretGivesAria2sOwnWords) {
  TempDir temp;
  Aria2Process aria2(RandomSecret(), temp.path());
  ASSERT_TRUE(aria2.running());
  const Aria2Target target{aria2.url(), "not-the-secret", ""};

  const Aria2Outcome outcome = PushToAria2(target, {{"http://127.0.0.1:9/a", "a"}, {"http://127.0.0.1:9/b", "b"}}, "agent");
  EXPECT_EQ(outcome.error, "Unauthorized");
  EXPECT_EQ(outcome.gids, std::vector<std::string>(2));
  EXPECT_EQ(Aria2ErrorLine(target, outcome.error), "error: aria2 at " + aria2.url() + ": Unauthorized");
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST(Aria2, AnAria2ThatIsNotRunningGivesTheExchangesReason) {
  const Aria2Target target{RpcUrl(FreePort()), "secret", ""};
  const Aria2Outcome outcome = PushToAria2(target, {{"http://127.0.0.1:9/a", "a"}}, "agent");
  EXPECT_NE(outcome.error.find("Couldn't connect to server"), std::string::npos) << outcome.error;
  EXPECT_EQ(outcome.gids, std::vector<std::string>(1));
  EXPECT_EQ(Aria2ErrorLine(target, outcome.error).rfind("error: aria2 at " + target.url + ": Couldn't connect", 0), 0u);
}

TEST(Aria2, NothingToPushSendsNothing) {
  const Aria2Outcome outcome = PushToAria2({RpcUrl(FreePort()), "", ""}, {}, "agent");
  EXPECT_TRUE(outcome.ok()) << outcome.error;
  EXPECT_TRUE(outcome.gids.empty());
}

TEST(Aria2, RequestCarriesTokenAndDirOnlyWhenGiven) {
  const std::vector<Aria2Item> items = {{"http://h/f?a=1&b=2", "中文.txt"}, {"http://h/g", ""}};
  const Json withBoth = Json::parse(Aria2Request({"u", "s3cret", "/data/x"}, items, "pan.baidu.com"));
  EXPECT_EQ(withBoth["method"], "system.multicall");
  EXPECT_EQ(withBoth["params"], Json::parse(R"([[
    {"methodName": "aria2.addUri", "params": ["token:s3cret", ["http://h/f?a=1&b=2"],
      {"out": "中文.txt", "header": ["User-Agent: pan.baidu.com"], "dir": "/data/x"}]},
    {"methodName": "aria2.addUri", "params": ["token:s3cret", ["http://h/g"],
      {"header": ["User-Agent: pan.baidu.com"], "dir": "/data/x"}]}]])"));
  const Json bare = Json::parse(Aria2Request({"u", "", ""}, {items[0]}, "A"));
  EXPECT_EQ(bare["params"], Json::parse(R"([[
    {"methodName": "aria2.addUri", "params": [["http://h/f?a=1&b=2"],
      {"out": "中文.txt", "header": ["User-Agent: A"]}]}]])"));
}

TEST(Aria2, AnswersAreReadIntoGidsOrAReason) {
  struct Case {
    const char* body;
    std::size_t count;
    const char* status;
    std::vector<std::string> gids;
    std::string error;
  };
  const Case cases[] = {
      {R"({"id":1,"jsonrpc":"2.0","result":[["a1"],["b2"]]})", 2, "", {"a1", "b2"}, ""},
      {R"({"id":1,"jsonrpc":"2.0","result":[{"code":1,"message":"Unauthorized"},{"code":1,"message":"Unauthorized"}]})",
       2, "", {"", ""}, "Unauthorized"},
      {R"({"id":1,"jsonrpc":"2.0","result":[["a1"],{"code":1,"message":"No URI to download."}]})", 2, "",
       {"a1", ""}, "No URI to download. (1 of 2 downloads refused)"},
      {R"({"id":1,"jsonrpc":"2.0","error":{"code":1,"message":"Unauthorized"}})", 1, "HTTP/1.1 400 Bad Request",
       {""}, "Unauthorized"},
      {R"({"id":null,"jsonrpc":"2.0","error":{"code":-32700}})", 1, "", {""}, "aria2 answered error -32700"},
      {R"({"id":1,"jsonrpc":"2.0","result":[["a1"]]})", 2, "", {"", ""}, "aria2 answered 1 results for 2 downloads"},
      {R"({"id":1,"jsonrpc":"2.0","result":[[7]]})", 1, "", {""}, "aria2 answered [7] for a download"},
      {"<html>Not Found</html>", 1, "HTTP/1.1 404 Not Found", {""},
       "the answer is not aria2's JSON-RPC (HTTP/1.1 404 Not Found)"},
      {"<html>Not Found</html>", 1, "", {""}, "the answer is not aria2's JSON-RPC: \"<html>Not Found</html>\""},
      {"", 1, "", {""}, "aria2 gave an empty answer"},
  };
  for (const Case& c : cases) {
    const Aria2Outcome outcome = ReadAria2Answer(c.body, c.count, c.status);
    EXPECT_EQ(outcome.gids, c.gids) << c.body;
    EXPECT_EQ(outcome.error, c.error) << c.body;
  }
}

}  // namespace
