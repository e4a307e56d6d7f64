#include "web/fetch_page.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <memory>
#include <thread>

#include "test_servers.h"
#include "web/fetch_test_hooks.h"

namespace {

const char kAgent[] = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

Text AsText(const Bytes& bytes) {
  return Text(bytes.begin(), bytes.end());
}

// A cpp-httplib server (plain or TLS) on 127.0.0.1; its socket listens from construction on.
template <typename Server>
struct Site {
  std::unique_ptr<Server> server;
  int port = 0;
  std::thread thread;
  template <typename... Args>
  explicit Site(Args&&... args) : server(std::make_unique<Server>(std::forward<Args>(args)...)) {
    port = server->bind_to_any_port("127.0.0.1");
  }
  void Start() {
    thread = std::thread([this] { server->listen_after_bind(); });
  }
  ~Site() {
    server->stop();
    if (thread.joinable()) thread.join();
  }
};

class FetchPageTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                    ("web_test_" + std::to_string(getpid())));
    std::filesystem::create_directories(*dir);
    certificate = new TestCertificate(dir->string());
  }
  static void TearDownTestSuite() {
    delete certificate;
    std::filesystem::remove_all(*dir);
    delete dir;
  }
  void SetUp() override {
    FetchLimits limits;
    limits.caFile = certificate->pemPath;
    SetFetchLimits(limits);
  }
  void TearDown() override { SetFetchLimits(FetchLimits()); }

  static std::string Base(int port, bool secure = false) {
    return (secure ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port);
  }

  static inline std::filesystem::path* dir = nullptr;
  static inline TestCertificate* certificate = nullptr;
};

std::string Ok(const std::string& body) {
  return Response("200 OK", "", body);
}

TEST_F(FetchPageTest, SystemCallSendsTheDefaultBlockOverHttpAndHttps) {
  for (bool secure : {false, true}) {
    RawServer server([](const std::string&) { return Ok("chapter"); },
                     secure ? certificate : nullptr);
    const std::string url = Base(server.Port(), secure) + "/List/1.html?p=2";
    Text sent;
    Bytes body = FetchPage(url, 0, {}, nullptr, nullptr, &sent);
    EXPECT_EQ(AsText(body), "chapter") << url;
    const Text block = "Accept: */*\r\nReferer: " + url +
                       "\r\nAccept-Language: zh-cn\r\n"
                       "Content-Type: application/x-www-form-urlencoded";
    EXPECT_EQ(sent, block);
    ASSERT_EQ(server.Requests().size(), 1u) << url;
    EXPECT_EQ(server.Requests()[0],
              "GET /List/1.html?p=2 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
                  "\r\nUser-Agent: " + kAgent + "\r\n" + block + "\r\n\r\n");
  }
}

TEST_F(FetchPageTest, UrlWithoutSchemeOrPathAsksForTheRoot) {
  RawServer server([](const std::string&) { return Ok("root"); });
  EXPECT_EQ(AsText(FetchPage("127.0.0.1:" + std::to_string(server.Port()))), "root");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].substr(0, 16), "GET / HTTP/1.1\r\n");
}

TEST_F(FetchPageTest, MethodsAndBodies) {
  struct Case {
    int method;
    const char* postText;
    const char* head;  // request line and the body-length line
    const char* body;
  } cases[] = {
      {5, "x=1", "GET / HTTP/1.1\r\n", ""},  {2, "", "HEAD / HTTP/1.1\r\n", ""},
      {-1, "x=1", "GET / HTTP/1.1\r\n", ""}, {1, "x=1", "POST / HTTP/1.1\r\n", "x=1"},
      {1, "", "POST / HTTP/1.1\r\n", ""},    {2, "x=1", "HEAD / HTTP/1.1\r\n", "x=1"},
  };
  for (const Case& c : cases) {
    RawServer server([](const std::string&) { return Response("200 OK", "", ""); });
    Bytes postBytes;
    FetchPage(Base(server.Port()), c.method, c.postText, nullptr, nullptr, nullptr, nullptr, false,
              &postBytes);
    ASSERT_EQ(server.Requests().size(), 1u) << c.method;
    const std::string request = server.Requests()[0];
    EXPECT_EQ(request.substr(0, std::string(c.head).size()), c.head) << c.method;
    EXPECT_EQ(RequestBody(request), c.body) << c.method;
    EXPECT_NE(request.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
              std::string::npos);
    EXPECT_EQ(request.find("Expect:"), std::string::npos) << c.method;
    if (c.method == 1 || (c.method == 2 && *c.postText)) {
      EXPECT_NE(request.find("\r\nContent-Length: " + std::to_string(strlen(c.body)) + "\r\n"),
                std::string::npos);
      EXPECT_EQ(AsText(postBytes), c.postText);
    } else {
      EXPECT_TRUE(postBytes.empty());
    }
  }
}

TEST_F(FetchPageTest, HeadWithBodyEndsAtTheHeaders) {
  // The length describes the resource; a HEAD answer never carries it, and the line stays open.
  RawServer server(
      [](const std::string&) { return "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"; }, nullptr,
      true);
  const auto start = std::chrono::steady_clock::now();
  Text received;
  Bytes body = FetchPage(Base(server.Port()), 2, "x=1", nullptr, nullptr, nullptr, &received);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(received, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(RequestBody(server.Requests()[0]), "x=1");
}

TEST_F(FetchPageTest, BodyBytesWinOverTextAndLargeBodiesGoOutWhole) {
  RawServer server([](const std::string&) { return Ok(""); });
  Bytes postBytes(5000, 'b');
  FetchPage(Base(server.Port()), 1, "ignored", nullptr, nullptr, nullptr, nullptr, false,
            &postBytes);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(RequestBody(server.Requests()[0]), std::string(5000, 'b'));
  EXPECT_EQ(server.Requests()[0].find("Expect:"), std::string::npos);
}

// Lines of the request head whose name matches `name` in any letter case.
std::vector<std::string> HeadLines(const std::string& request, const std::string& name) {
  std::vector<std::string> found;
  std::string head = RequestHead(request) + "\r\n";
  for (size_t at = head.find("\r\n"); at + 2 < head.size();) {
    size_t end = head.find("\r\n", at + 2);
    std::string line = head.substr(at + 2, end - at - 2);
    if (strncasecmp(line.c_str(), (name + ":").c_str(), name.size() + 1) == 0) {
      found.push_back(line);
    }
    at = end;
  }
  return found;
}

TEST_F(FetchPageTest, CallerHeadersAndTheUserAgent) {
  struct Case {
    const char* given;
    std::vector<std::string> agentLines;
    std::vector<std::string> acceptLines;
    std::vector<std::string> languageLines;
  } cases[] = {
      {"User-Agent: X", {"User-Agent: X"}, {"Accept: */*"}, {"Accept-Language: zh-cn"}},
      {"user-agent: X", {"user-agent: X"}, {"Accept: */*"}, {"Accept-Language: zh-cn"}},
      {"X-Note: see User-Agent: Y", {"User-Agent: Y"}, {"Accept: */*"}, {"Accept-Language: zh-cn"}},
      // The fallback value runs over two lines; only its first line may become the agent.
      {"X-Note: user-agent: Y\r\nFoo: z",
       {"User-Agent: user-agent: Y"},
       {"Accept: */*"},
       {"Accept-Language: zh-cn"}},
      {"Accept: text/html",
       {std::string("User-Agent: ") + kAgent},
       {"Accept: text/html"},
       {"Accept-Language: zh-cn"}},
      {"accept-language: en",
       {std::string("User-Agent: ") + kAgent},
       {"Accept: */*"},
       {"accept-language: en", "Accept-Language: zh-cn"}},
  };
  for (const Case& c : cases) {
    RawServer server([](const std::string&) { return Ok(""); });
    Text headers = c.given;
    FetchPage(Base(server.Port()), 0, {}, nullptr, nullptr, &headers);
    ASSERT_EQ(server.Requests().size(), 1u) << c.given;
    const std::string request = server.Requests()[0];
    EXPECT_EQ(headers.substr(0, strlen(c.given) + 2), Text(c.given) + "\r\n") << c.given;
    EXPECT_EQ(HeadLines(request, "User-Agent"), c.agentLines) << c.given;
    EXPECT_EQ(HeadLines(request, "Accept"), c.acceptLines) << c.given;
    EXPECT_EQ(HeadLines(request, "Accept-Language"), c.languageLines) << c.given;
    EXPECT_EQ(HeadLines(request, "Foo").size(), Text(c.given).find("Foo") == Text::npos ? 0u : 1u);
  }
}

TEST_F(FetchPageTest, Redirects) {
  Site<httplib::Server> plain;
  Site<httplib::SSLServer> secure(certificate->cert, certificate->key);
  std::atomic<int> loopHits{0};
  const std::string plainBase = Base(plain.port);
  const std::string secureBase = Base(secure.port, true);
  for (auto* server : {static_cast<httplib::Server*>(plain.server.get()),
                       static_cast<httplib::Server*>(secure.server.get())}) {
    server->Get("/final", [server, &plain](const httplib::Request&, httplib::Response& res) {
      res.set_content(server == plain.server.get() ? "plain final" : "secure final", "text/plain");
    });
    server->Get("/to-plain", [&](const httplib::Request&, httplib::Response& res) {
      res.set_redirect(plainBase + "/final", 302);
      res.set_content("moved", "text/plain");
    });
    server->Get("/to-secure", [&](const httplib::Request&, httplib::Response& res) {
      res.set_redirect(secureBase + "/final", 301);
      res.set_content("moved", "text/plain");
    });
    server->Get("/relative", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/final", 307);
      res.set_content("moved", "text/plain");
    });
    server->Get("/loop", [&](const httplib::Request&, httplib::Response& res) {
      ++loopHits;
      res.set_redirect("/loop", 302);
    });
  }
  plain.Start();
  secure.Start();

  struct Case {
    std::string url;
    bool noRedirect;
    const char* body;
    const char* status;
  } cases[] = {
      {plainBase + "/relative", false, "plain final", "HTTP/1.1 200 OK\r\n"},
      {plainBase + "/to-secure", false, "secure final", "HTTP/1.1 200 OK\r\n"},
      {secureBase + "/relative", false, "secure final", "HTTP/1.1 200 OK\r\n"},
      {secureBase + "/to-plain", false, "moved", "HTTP/1.1 302 Found\r\n"},
      {plainBase + "/to-secure", true, "moved", "HTTP/1.1 301 Moved Permanently\r\n"},
      {secureBase + "/relative", true, "moved", "HTTP/1.1 307 Temporary Redirect\r\n"},
      {plainBase + "/loop", false, "", ""},
  };
  for (const Case& c : cases) {
    Text received;
    Bytes body = FetchPage(c.url, 0, {}, nullptr, nullptr, nullptr, &received, c.noRedirect);
    EXPECT_EQ(AsText(body), c.body) << c.url << " noRedirect=" << c.noRedirect;
    EXPECT_EQ(received.substr(0, strlen(c.status)), c.status) << c.url;
  }
  EXPECT_EQ(loopHits, GetFetchLimits().maxRedirects + 1);
}

TEST_F(FetchPageTest, SharedCookieStoreUnlessTheCallerBringsCookies) {
  Site<httplib::Server> site;
  site.server->Get("/set", [](const httplib::Request& req, httplib::Response& res) {
    res.set_header("Set-Cookie",
                   req.get_param_value("name") + "=" + req.get_param_value("value") + "; Path=/");
  });
  site.server->Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(req.has_header("Cookie") ? req.get_header_value("Cookie") : "none",
                    "text/plain");
  });
  site.Start();
  const std::string base = Base(site.port);

  FetchPage(base + "/set?name=sid&value=abc");
  EXPECT_EQ(AsText(FetchPage(base + "/echo")), "sid=abc");

  Text mine = "k=v";
  EXPECT_EQ(AsText(FetchPage(base + "/echo", 0, {}, &mine)), "k=v");
  Text empty;
  EXPECT_EQ(AsText(FetchPage(base + "/echo", 0, {}, &empty)), "none");
  Text cookieLine = "Cookie: q=1";
  EXPECT_EQ(AsText(FetchPage(base + "/echo", 0, {}, &cookieLine)), "q=1");

  // A response to a call with its own cookies leaves the shared store alone.
  Text own = "k=v";
  Text out;
  FetchPage(base + "/set?name=other&value=1", 0, {}, &own, &out);
  EXPECT_EQ(own, "k=v;other=1;");
  EXPECT_EQ(out, own);
  EXPECT_EQ(AsText(FetchPage(base + "/echo")), "sid=abc");
}

TEST_F(FetchPageTest, ResponseHeadersAndTheirCookies) {
  struct Case {
    std::string extraHeaders;
    const char* cookies;  // nullptr: omitted
    const char* cookiesOut;
    const char* cookiesAfter;
  } cases[] = {
      {"Set-Cookie: a=1; path=/\r\nset-cookie: b=2\r\nSET-COOKIE: c=3; HttpOnly\r\n", nullptr,
       "a=1; b=2; c=3", nullptr},
      {"Set-Cookie: a=1; path=/\r\nset-cookie: b=2\r\n", "a=0; z=9", "a=1;z=9;b=2;",
       "a=1;z=9;b=2;"},
      {"X-Other: 1\r\n", nullptr, "", nullptr},
      {"Set-Cookie: a=1\r\n", "", "a=1;", "a=1;"},
      {"X-Other: 1\r\n", "a=1; b=2", "a=1;b=2", "a=1;b=2"},
      {"Set-Cookie: gone=deleted\r\n", "gone=1; kept=2", "kept=2;", "kept=2;"},
  };
  for (const Case& c : cases) {
    RawServer server([&](const std::string&) {
      return "HTTP/1.1 200 OK\r\n" + c.extraHeaders + "Content-Length: 2\r\n\r\nok";
    });
    Text cookies = c.cookies ? c.cookies : "";
    Text cookiesOut = "stale";
    Text received;
    Bytes body = FetchPage(Base(server.Port()), 0, {}, c.cookies ? &cookies : nullptr, &cookiesOut,
                           nullptr, &received);
    EXPECT_EQ(AsText(body), "ok");
    EXPECT_EQ(cookiesOut, c.cookiesOut) << c.extraHeaders;
    if (c.cookies) {
      EXPECT_EQ(cookies, c.cookiesAfter) << c.extraHeaders;
    }
    Text expected = "HTTP/1.1 200 OK\r\n" + c.extraHeaders + "Content-Length: 2\r\n";
    EXPECT_EQ(received, ReplaceText(expected, "Set-Cookie", "Set-Cookie", true));
  }
}

TEST_F(FetchPageTest, HeaderBlockOf5000BytesOrMoreIsNotDelivered) {
  for (int blockLength : {4999, 5000}) {
    // Status (17), Set-Cookie (17), "X: " line (5 + padding), Content-Length and Connection (38).
    const int padding = blockLength - 17 - 17 - 5 - 38;
    const std::string headers = "Set-Cookie: a=1\r\nX: " + std::string(padding, 'p') + "\r\n";
    RawServer server([&](const std::string&) { return Response("200 OK", headers, "ok"); });
    Text received, cookiesOut;
    Bytes body = FetchPage(Base(server.Port()), 0, {}, nullptr, &cookiesOut, nullptr, &received);
    EXPECT_EQ(AsText(body), "ok");
    if (blockLength < 5000) {
      EXPECT_EQ(TextLength(received), blockLength);
      EXPECT_EQ(cookiesOut, "a=1");
    } else {
      EXPECT_EQ(received, BlankText(5000));
      EXPECT_EQ(cookiesOut, "");
    }
  }
}

TEST_F(FetchPageTest, FailuresGiveTheEmptyBody) {
  // A port nobody listens on.
  int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &len);
  close(probe);
  const std::string closed = Base(ntohs(addr.sin_port));

  FetchLimits limits = GetFetchLimits();
  limits.idleSeconds = 1;
  SetFetchLimits(limits);
  RawServer silent([](const std::string&) { return std::string(); });
  const std::string quiet = Base(silent.Port());

  for (const std::string& url : {closed, quiet}) {
    Text cookies = "a=1; b=2";
    Text cookiesOut = "stale", sent = "X: 1", received = "stale";
    Bytes body = FetchPage(url, 0, {}, &cookies, &cookiesOut, &sent, &received);
    EXPECT_TRUE(body.empty()) << url;
    EXPECT_EQ(received, BlankText(5000)) << url;
    EXPECT_EQ(cookiesOut, "a=1;b=2") << url;
    EXPECT_EQ(sent.substr(0, 19), "X: 1\r\nAccept: */*\r\n") << url;
  }
  EXPECT_EQ(silent.Requests().size(), 1u);
}

TEST_F(FetchPageTest, ATrickleIsCutOffByTheLimitOnTheWholeRequest) {
  FetchLimits limits = GetFetchLimits();
  limits.idleSeconds = 1;
  limits.transferTimeoutMs = 1500;
  SetFetchLimits(limits);
  std::atomic<bool> stop{false};
  Site<httplib::Server> site;
  // A few bytes a second: never idle for a whole second, never done either.
  site.server->Get("/drip", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/html", [&](size_t, httplib::DataSink& sink) {
      if (stop) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      return sink.write("x", 1);
    });
  });
  site.Start();
  EXPECT_TRUE(FetchPage(Base(site.port) + "/drip", 0).empty());
  stop = true;
}

TEST_F(FetchPageTest, AnAddressThatCannotBeUsedLeavesTheCallersValues) {
  Text cookiesOut = "stale", sent = "X: 1", received = "stale";
  Bytes body = FetchPage("http://bad host/", 0, {}, nullptr, &cookiesOut, &sent, &received);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(cookiesOut, "stale");
  EXPECT_EQ(sent, "X: 1");
  EXPECT_EQ(received, "stale");
}

TEST_F(FetchPageTest, ErrorPagesComeBackAsBodies) {
  Site<httplib::Server> site;
  site.server->Get("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("no such chapter", "text/plain");
  });
  site.server->Get("/broken", [](const httplib::Request&, httplib::Response& res) {
    res.status = 500;
    res.set_content("server trouble", "text/plain");
  });
  site.Start();
  EXPECT_EQ(AsText(FetchPage(Base(site.port) + "/missing")), "no such chapter");
  EXPECT_EQ(AsText(FetchPage(Base(site.port) + "/broken")), "server trouble");
}

TEST_F(FetchPageTest, ChunkedBodiesAndTheBodyLimit) {
  FetchLimits limits = GetFetchLimits();
  limits.maxBodyBytes = 1000;
  SetFetchLimits(limits);
  Site<httplib::Server> site;
  site.server->Get("/chunked", [](const httplib::Request& req, httplib::Response& res) {
    size_t size = std::stoul(req.get_param_value("n"));
    res.set_chunked_content_provider("text/plain", [size](size_t, httplib::DataSink& sink) {
      std::string half(size / 2, 'c');
      sink.write(half.data(), half.size());
      sink.write(half.data(), half.size());
      sink.done();
      return true;
    });
  });
  site.server->Get("/sized", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(std::string(std::stoul(req.get_param_value("n")), 's'), "text/plain");
  });
  site.Start();
  const std::string base = Base(site.port);
  EXPECT_EQ(AsText(FetchPage(base + "/chunked?n=1000")), std::string(1000, 'c'));
  EXPECT_TRUE(FetchPage(base + "/chunked?n=1002").empty());
  EXPECT_EQ(AsText(FetchPage(base + "/sized?n=1000")), std::string(1000, 's'));
  EXPECT_TRUE(FetchPage(base + "/sized?n=1001").empty());
}

TEST_F(FetchPageTest, ProxyCarriesPlainRequestsAndEnvironmentProxiesAreIgnored) {
  RawServer proxy([](const std::string&) { return Ok("via proxy"); });
  RawServer site([](const std::string&) { return Ok("direct"); });
  const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.Port());
  setenv("http_proxy", ("http://" + proxyAddress).c_str(), 1);
  setenv("HTTPS_PROXY", ("http://" + proxyAddress).c_str(), 1);
  EXPECT_EQ(AsText(FetchPage(Base(site.Port()) + "/d")), "direct");
  EXPECT_EQ(AsText(FetchPage("http://novel.invalid/c/1?p=2", 0, {}, nullptr, nullptr, nullptr,
                             nullptr, false, nullptr, proxyAddress)),
            "via proxy");
  unsetenv("http_proxy");
  unsetenv("HTTPS_PROXY");
  ASSERT_EQ(proxy.Requests().size(), 1u);
  const std::string line = "GET http://novel.invalid/c/1?p=2 HTTP/1.1\r\n";
  EXPECT_EQ(proxy.Requests()[0].substr(0, line.size()), line);
}

TEST_F(FetchPageTest, FiveHundredThreadsAtOnce) {
  constexpr int kThreads = 500;
  RawServer server([](const std::string& request) {
    size_t start = request.find(' ') + 1;
    return Ok("page " + request.substr(start, request.find(' ', start) - start));
  });
  const std::string base = Base(server.Port());
  std::vector<Text> bodies(kThreads);
  std::latch go(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      go.arrive_and_wait();
      bodies[i] = AsText(FetchPage(base + "/c/" + std::to_string(i)));
    });
  }
  for (std::thread& t : threads)
    t.join();
  for (int i = 0; i < kThreads; ++i)
    EXPECT_EQ(bodies[i], "page /c/" + std::to_string(i));
}

}  // namespace
