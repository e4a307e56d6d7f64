#include "extract/chapter_cleanup.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "extract/html_to_text.h"
#include "text/codepage.h"

namespace {

Text G(std::string_view utf8) {
  return Utf8ToAnsi(utf8);
}

TEST(ChapterCleanupTest, TablesHoldTheSiteWordsInGbk) {
  const char* words[] = {"登录",         "看过",     "Duang",    "书架 ",        "消息",
                         "写书",         "充值",     "首页",     "Norvel小说网", "全屏阅读",
                         "发表评论",     "返回目录", "添加书签", "上一章",       "下一章",
                         "选择背景颜色", "选择字号"};
  ASSERT_EQ(std::size(words), navigationWords.size());
  for (size_t i = 0; i < navigationWords.size(); ++i)
    EXPECT_EQ(navigationWords[i], G(words[i]));
  EXPECT_EQ(chapterStartMarker, G("本书首发"));
}

TEST(ChapterCleanupTest, StripBlankLines) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"\r\n", ""},
      {"a\r\n\r\n", "a\r\n"},
      {"\r\n\r\na", "\r\na"},
      {"a\r\n  b", "a\r\n  b"},
      {"\r\n第一章\r\n\r\n  \r\n正文\r\n", "第一章\r\n正文"},
      {"a\r\n\t \r\n\r\n\r\nb\r\n\r\nc", "a\r\nb\r\nc"},
      {"a\n\nb", "a\n\nb"},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(GbkToUtf8(StripBlankLines(G(input))), expected) << input;
  }
}

TEST(ChapterCleanupTest, CutBetweenMarkers) {
  const Text s(chapterStartMarker);
  const Text e(chapterEndMarker);
  const std::pair<Text, Text> cases[] = {
      {"P" + s + " ad " + e + "Q", "PQ"},
      {s + " ad " + e + "Q", "Q"},
      {"P" + s + " ad " + e, "P"},
      {"P" + s + " ad www.NORVEL.Example\r\nQ", "P\r\nQ"},
      {"P" + s + e + "Q" + s + e + "R", "PQ" + s + e + "R"},
      {"P " + e + " Q", ""},
      {"", ""},
      // The end marker only before the start marker, or not at all: the advert line alone goes.
      {"a\r\n" + e + "\r\n" + s + " ad\r\nb\r\n", "a\r\n" + e + "\r\nb\r\n"},
      {"a\r\nx" + s + " ad\r\nb", "a\r\nb"},
      {s + " ad", ""},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(CutBetweenMarkers(input, chapterStartMarker, chapterEndMarker), expected)
        << GbkToUtf8(input);
  }
}

TEST(ChapterCleanupTest, FilterNavigationLines) {
  const TextArray lines = {G("第一段"), G("上一章 下一章"), "",        G("加入书架"),
                           "duang",     "Duang!",           G("书架 ")};
  EXPECT_EQ(FilterNavigationLines(0, lines), "");
  EXPECT_EQ(FilterNavigationLines(4, lines), G("第一段\r\n\r\n加入书架\r\n"));
  EXPECT_EQ(FilterNavigationLines(7, lines), G("第一段\r\n\r\n加入书架\r\nduang\r\n"));
  EXPECT_EQ(FilterNavigationLines(99, lines), FilterNavigationLines(7, lines));
}

std::string ReadFixture(const std::string& name) {
  std::ifstream in(std::string(NORVEL_EXTRACT_TEST_DATA) + "/" + name, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

Text ChapterPipeline(std::string_view utf8Page) {
  const Text rendered = HtmlToText(Utf8ToAnsi(utf8Page));
  const Text stripped = StripBlankLines(rendered);
  const Text cut = CutBetweenMarkers(stripped, chapterStartMarker, chapterEndMarker);
  const TextArray lines = SplitText(cut, "\r\n");
  return FilterNavigationLines(ArrayCount(lines), lines);
}

TEST(ChapterCleanupTest, ChapterPageBecomesTheChapterText) {
  const std::string page = ReadFixture("chapter_page.html");
  ASSERT_FALSE(page.empty());
  const Text expected =
      G("第一章 风起\r\n"
        "\r\n"
        "    清晨的风吹过山谷，少年推开了木门。\r\n"
        "    “今天&明天，都会是好天气。”他自言自语道。\r\n"
        "    远处传来钟声……一下，两下。\r\n"
        "    他把书架上的旧书取下，放进了行囊。\r\n");
  EXPECT_EQ(GbkToUtf8(ChapterPipeline(page)), GbkToUtf8(expected));
}

TEST(ChapterCleanupTest, ManyThreadsAtOnce) {
  const std::string page = ReadFixture("chapter_page.html");
  const Text expected = ChapterPipeline(page);
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i)
        wrong[t] += ChapterPipeline(page) != expected;
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int t = 0; t < 8; ++t)
    EXPECT_EQ(wrong[t], 0);
}

}  // namespace
