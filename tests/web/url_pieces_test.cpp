#include "web/url_pieces.h"

#include <gtest/gtest.h>

namespace {

struct HostCase {
  const char* url;
  bool domainOnly;
  bool keepPort;
  std::optional<int> suffixDots;
  const char* host;
};

TEST(UrlHost, CutsTheHostInBothModes) {
  const HostCase cases[] = {
      {"HTTP://A.B.C:81/x", false, false, std::nullopt, "a.b.c"},
      {"HTTP://A.B.C:81/x", false, true, std::nullopt, "a.b.c:81"},
      {"a.b.c", false, false, std::nullopt, "a.b.c"},
      {"https://a.b.c", false, false, std::nullopt, "a.b.c"},
      {"HTTPS://a.b.c/p", false, false, std::nullopt, "a.b.c"},
      {"http://x.a.b.c/p", true, false, std::nullopt, "b.c"},
      {"http://localhost/p", true, false, std::nullopt, "localhost"},
      {"http://x.a.b.c/p", false, false, 0, "b.c"},
      {"http://x.a.b.c/p", true, false, 0, "c"},
      {"http://x.a.b.c/p", false, false, 1, "a.b.c"},
      {"http://x.a.b.c/p", true, false, 1, "b.c"},
      {"http://x.a.b.c/p", false, false, -3, "b.c"},
      {"https://b.c:81/p", false, false, 5, "b.c"},
      {"https://b.c:81/p", true, true, 5, "b.c:81"},
      {"https://x.b.c:81/p", false, true, 0, "b.c:81"},
  };
  for (const HostCase& c : cases) {
    EXPECT_EQ(UrlHost(c.url, c.domainOnly, c.keepPort, c.suffixDots), c.host)
        << c.url << " domainOnly=" << c.domainOnly << " keepPort=" << c.keepPort
        << " suffixDots=" << c.suffixDots.value_or(-99);
  }
}

TEST(UrlPort, TakesThePortOrTheSchemeDefault) {
  const std::pair<const char*, int> cases[] = {
      {"http://a.b.c/", 80},   {"HTTPS://a.b.c/", 443}, {"http://a.b.c:8080/x", 8080},
      {"http://a.b.c:/x", 0},  {"a.b.c", 80},           {"https://a.b.c:81", 81},
      {"http://a.b.c:x1/", 0},
  };
  for (const auto& [url, port] : cases)
    EXPECT_EQ(UrlPort(url), port) << url;
}

TEST(UrlPath, KeepsQueryAndCallersCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://a.b.c/List/1.html?p=2", "/List/1.html?p=2"},
      {"http://a.b.c", "/"},
      {"http://a.b.c?p=2", "/"},
      {"HTTP://A.B.C:81/X/Y#f", "/X/Y#f"},
      {"a.b.c/p", "/p"},
      {"https://a.b.c/", "/"},
  };
  for (const auto& [url, path] : cases)
    EXPECT_EQ(UrlPath(url), path) << url;
}

TEST(HeaderValue, TakesEverythingAfterTheFirstColon) {
  EXPECT_EQ(HeaderValue("User-Agent: X"), "X");
  EXPECT_EQ(HeaderValue("no colon"), "");
  EXPECT_EQ(HeaderValue("user-agent: X\r\nA: b "), "X\r\nA: b");
  EXPECT_EQ(HeaderValue(""), "");
}

}  // namespace
