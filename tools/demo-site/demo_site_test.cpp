#include "demo_site.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool SameIgnoringCase(const std::string& text, size_t at, const char* word) {
  for (size_t i = 0; word[i] != '\0'; ++i) {
    if (at + i >= text.size() ||
        std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) {
      return false;
    }
  }
  return true;
}

// The matches of the collector's default link pattern /chapter/\d+/\d+.html (any letter case).
std::vector<std::string> ChapterLinks(const std::string& page) {
  std::vector<std::string> links;
  for (size_t at = 0; at < page.size(); ++at) {
    if (!SameIgnoringCase(page, at, "/chapter/")) continue;
    size_t i = at + 9;
    const size_t bookStart = i;
    while (i < page.size() && IsDigit(page[i]))
      ++i;
    if (i == bookStart || i >= page.size() || page[i] != '/') continue;
    const size_t idStart = ++i;
    while (i < page.size() && IsDigit(page[i]))
      ++i;
    // The dot matches any character, a digit too: try the longest digit run first.
    for (size_t end = i; end > idStart; --end) {
      if (end < page.size() && SameIgnoringCase(page, end + 1, "html")) {
        links.push_back(page.substr(at, end + 5 - at));
        at = end + 4;
        break;
      }
    }
  }
  return links;
}

TEST(DemoContent, TableOfContentsLinksEveryChapterOnceInOrder) {
  DemoSiteOptions options;
  options.chapters = 57;
  const std::string page = DemoTocPage(options);
  std::vector<std::string> expected;
  for (int n = 1; n <= options.chapters; ++n)
    expected.push_back(DemoChapterPath(n));
  EXPECT_EQ(ChapterLinks(page), expected);
  EXPECT_NE(page.find("<title>" + DemoBookTitle(options) + "</title>"), std::string::npos);
  options.chapters = 0;
  EXPECT_TRUE(ChapterLinks(DemoTocPage(options)).empty());
}

TEST(DemoContent, ParagraphsHoldNoNavigationWordAndReachTheSize) {
  const char* const kForbidden[] = {"登录",     "看过",     "Duang",    "书架 ",  "消息",
                                    "写书",     "充值",     "首页",     "Norvel", "全屏阅读",
                                    "发表评论", "返回目录", "添加书签", "上一章", "下一章",
                                    "选择",     "本书首发", "norvel",   "NORVEL"};
  DemoSiteOptions options;
  for (int n = 1; n <= 300; ++n) {
    const auto paragraphs = DemoChapterParagraphs(n, options);
    EXPECT_EQ(paragraphs, DemoChapterParagraphs(n, options));
    size_t bytes = 0;
    for (const std::string& paragraph : paragraphs) {
      bytes += paragraph.size();
      for (const char* word : kForbidden) {
        ASSERT_EQ(paragraph.find(word), std::string::npos) << n << ": " << word;
      }
    }
    EXPECT_GE(bytes, 3000u);
    EXPECT_LT(bytes, 3600u);
    const std::string heading = DemoChapterHeading(n);
    for (const char* word : kForbidden)
      EXPECT_EQ(heading.find(word), std::string::npos);
  }
}

class DemoServer : public ::testing::Test {
 protected:
  void SetUp() override {
    options_.port = 0;
    options_.chapters = 12;
    options_.threads = 8;
    options_.connectionTimeoutSec = 1;
    site_ = StartDemoSite(options_);
    ASSERT_TRUE(site_);
  }
  httplib::Result Get(const std::string& path) {
    httplib::Client client("127.0.0.1", DemoSitePort(*site_));
    client.set_read_timeout(5, 0);
    return client.Get(path.c_str());
  }
  void Faults(std::vector<DemoFault> faults) {
    options_.faults = std::move(faults);
    UpdateDemoFaults(*site_, options_);
  }

  DemoSiteOptions options_;
  DemoSiteHandle site_;
};

TEST_F(DemoServer, ServesContentsAndChapterPages) {
  auto toc = Get(DemoTocPath());
  ASSERT_TRUE(toc);
  EXPECT_EQ(toc->status, 200);
  EXPECT_EQ(toc->body, DemoTocPage(options_));
  EXPECT_EQ(ChapterLinks(toc->body).size(), 12u);

  auto chapter = Get(DemoChapterPath(3));
  ASSERT_TRUE(chapter);
  EXPECT_EQ(chapter->status, 200);
  EXPECT_NE(chapter->body.find("本书首发"), std::string::npos);
  EXPECT_NE(chapter->body.find("www.NORVEL.example</div>"), std::string::npos);
  EXPECT_NE(Get(DemoChapterPath(4))->body.find("www.norvel.example</div>"), std::string::npos);
  EXPECT_NE(chapter->body.find("<h1>" + DemoChapterHeading(3) + "</h1>"), std::string::npos);

  EXPECT_EQ(Get("/chapter/1537326/1.html")->status, 404);
  EXPECT_EQ(Get(DemoChapterPath(13))->status, 404);
  EXPECT_EQ(DemoRequestCount(*site_, DemoChapterPath(3)), 1);
  EXPECT_EQ(DemoTotalRequests(*site_), 5);
  EXPECT_EQ(DemoTocUrl(*site_),
            "http://127.0.0.1:" + std::to_string(DemoSitePort(*site_)) + "/list/1537326.html");
}

TEST_F(DemoServer, AnAddressInUseGivesNoSite) {
  DemoSiteOptions second = options_;
  second.port = DemoSitePort(*site_);
  EXPECT_FALSE(StartDemoSite(second));
}

TEST_F(DemoServer, EachFailureKindAnswersAsAnnounced) {
  struct Case {
    DemoFailure failure;
    bool answered;  // a complete response arrives
    int status;
    bool emptyBody;
  };
  const Case kCases[] = {
      {DemoFailure::EmptyBody, true, 200, true},     {DemoFailure::Error500, true, 500, false},
      {DemoFailure::Error500Empty, true, 500, true}, {DemoFailure::Error503, true, 503, false},
      {DemoFailure::Error503Empty, true, 503, true}, {DemoFailure::NotFound, true, 404, false},
      {DemoFailure::CutBody, false, 0, false},       {DemoFailure::NoAdvert, true, 200, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.failure));
    Faults({{5, c.failure, -1}});
    auto result = Get(DemoChapterPath(5));
    ASSERT_EQ(static_cast<bool>(result), c.answered);
    if (!c.answered) continue;
    EXPECT_EQ(result->status, c.status);
    EXPECT_EQ(result->body.empty(), c.emptyBody);
    EXPECT_EQ(result->body.find("本书首发"), std::string::npos);
  }
}

TEST_F(DemoServer, FailsTheFirstFetchesThenServes) {
  Faults({{2, DemoFailure::Error503Empty, 2}, {0, DemoFailure::EmptyBody, 1}});
  EXPECT_EQ(Get(DemoChapterPath(2))->status, 503);
  EXPECT_EQ(Get(DemoChapterPath(2))->status, 503);
  EXPECT_EQ(Get(DemoChapterPath(2))->body, DemoChapterPage(2, options_));
  EXPECT_EQ(Get(DemoChapterPath(1))->body, DemoChapterPage(1, options_));
  EXPECT_TRUE(Get(DemoTocPath())->body.empty());
  EXPECT_EQ(Get(DemoTocPath())->body, DemoTocPage(options_));
  EXPECT_EQ(DemoRequestCount(*site_, DemoChapterPath(2)), 3);
}

TEST_F(DemoServer, StopCutsOffStalledAndDrippingAnswers) {
  Faults({{1, DemoFailure::Stall, -1}, {2, DemoFailure::Drip, -1}});
  // httplib's client builds its statics on first use; doing that before the threads start keeps
  // ThreadSanitizer from taking the library's unguarded fast path for a race.
  ASSERT_TRUE(Get(DemoTocPath()));
  std::thread stalled([this] { EXPECT_FALSE(Get(DemoChapterPath(1))); });
  std::thread dripping([this] { EXPECT_FALSE(Get(DemoChapterPath(2))); });
  ASSERT_TRUE(
      WaitUntil([this] { return DemoTotalRequests(*site_) == 3; }, std::chrono::seconds(10)));
  const auto start = Clock::now();
  StopDemoSite(*site_);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  stalled.join();
  dripping.join();
}

}  // namespace
