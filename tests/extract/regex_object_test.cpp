#include "extract/regex_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/codepage.h"

namespace {

Text G(std::string_view utf8) {
  return Utf8ToAnsi(utf8);
}

struct MatchCase {
  const char* name;
  const char* pattern;                // UTF-8
  const char* subject;                // UTF-8
  std::vector<std::string> expected;  // UTF-8
  bool caseSensitive = false;
  bool multiline = true;
  bool global = true;
};

class RegexMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(RegexMatchTest, FindsTheExpectedMatches) {
  const MatchCase& c = GetParam();
  RegexObject regex;
  ASSERT_TRUE(regex.Create(G(c.pattern), G(c.subject), c.caseSensitive, c.multiline, c.global));
  std::vector<std::string> found;
  for (int i = 1; i <= regex.MatchCount(); ++i)
    found.push_back(GbkToUtf8(regex.MatchText(i)));
  EXPECT_EQ(found, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegexMatchTest,
    ::testing::Values(
        MatchCase{"IgnoresCaseByDefault", "a", "A a", {"A", "a"}},
        MatchCase{"CaseSensitive", "a", "A a", {"a"}, true},
        MatchCase{"NotGlobal", "a", "A a", {"A"}, false, true, false},
        MatchCase{"CaretAfterCrLf", "^b", "a\r\nb", {"b"}},
        MatchCase{"CaretNotMultiline", "^b", "a\r\nb", {}, false, false},
        MatchCase{"CaretAfterLoneCr", "^b", "a\rb", {"b"}},
        MatchCase{"DollarBeforeCr", "a$", "a\r\nb", {"a"}},
        MatchCase{"DollarNotBeforeFinalBreak", "a$", "a\n", {}, false, false},
        MatchCase{"DollarAtEnd", "b$", "a\nb", {"b"}, false, false},
        MatchCase{"EveryLineStart", "^", "a\r\nb", {"", "", ""}},
        MatchCase{"EveryLineEnd", "$", "a\r\nb", {"", "", ""}},
        MatchCase{"CaretInsideClassIsLiteral", "[\\^x]+", "a^x", {"^x"}},
        MatchCase{"DotSkipsLineFeed", "a.b", "a\nb", {}},
        MatchCase{"DotTakesCarriageReturn", "a.b", "a\rb", {"a\rb"}},
        MatchCase{"ChineseCharactersAreCharacters", "^..$", "第一", {"第一"}},
        MatchCase{"UnicodeEscape", "\\u7b2c\\d+", "第12章", {"第12"}},
        MatchCase{"UnicodeEscapeRange", "[\\u4e00-\\u9fa5]+", "ab第一章cd", {"第一章"}},
        MatchCase{"HexEscape", "\\x41\\u0042", "xAB", {"AB"}, true},
        MatchCase{"Lazy", "<b>(.*?)</b>", "<b>x</b><b>y</b>", {"<b>x</b>", "<b>y</b>"}},
        MatchCase{"Greedy", "<b>(.*)</b>", "<b>x</b><b>y</b>", {"<b>x</b><b>y</b>"}},
        MatchCase{"NonCapturing", "(?:ab)+", "ababx", {"abab"}},
        MatchCase{"Lookahead", "\\d+(?=元)", "10元 20角", {"10"}},
        MatchCase{"NegativeLookahead", "\\d+(?!\\d|元)", "10元 20角", {"20"}},
        MatchCase{"BackReference", "(\\w)\\1", "aabcc", {"aa", "cc"}},
        MatchCase{"UnsetGroupMatchesEmpty", "(x)?\\1y", "y", {"y"}},
        MatchCase{"NegatedClass", "[^,]+", "a,b,,c", {"a", "b", "c"}},
        MatchCase{"WhiteSpaceClass",
                  "a\\sb",
                  "a\tb a\vb a\fb a b a\rb",
                  {"a\tb", "a\vb", "a\fb", "a b", "a\rb"}},
        MatchCase{"EmptyMatchMovesOn", "x*", "axb", {"", "x", "", ""}},
        MatchCase{"EmptyMatchMovesOnByCharacter", "", "第一", {"", "", ""}},
        MatchCase{
            "ChapterLinks",
            "<a href=\"(/\\d+/\\d+\\.html)\">([^<]*)</a>",
            "<li><a href=\"/1/1.html\">第一章</a></li><li><a href=\"/1/2.html\">第二章</a></li>",
            {"<a href=\"/1/1.html\">第一章</a>", "<a href=\"/1/2.html\">第二章</a>"}}),
    [](const ::testing::TestParamInfo<MatchCase>& info) { return std::string(info.param.name); });

TEST(RegexObjectTest, EmptyBeforeAnyCreate) {
  RegexObject regex;
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.MatchText(1), "");
  EXPECT_EQ(regex.SubmatchCount(), 0);
  EXPECT_EQ(regex.SubmatchText(1, 1), "");
  EXPECT_EQ(regex.GetPattern(), "");
  EXPECT_EQ(regex.Replace(), "");
}

TEST(RegexObjectTest, BadPatternFailsAndDropsEarlierMatches) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("a", "aaa"));
  ASSERT_EQ(regex.MatchCount(), 3);
  EXPECT_FALSE(regex.Create("(", "aaa"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.MatchText(1), "");
  EXPECT_EQ(regex.Replace("b"), "");
  EXPECT_EQ(regex.GetPattern(), "(");
}

TEST(RegexObjectTest, RunawayBacktrackingFailsLikeABadPattern) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("a", "a"));
  const Text subject = std::string(40, 'a') + "!";
  EXPECT_FALSE(regex.Create("(a+)+(b|c)", subject));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.Replace(), "");
}

TEST(RegexObjectTest, LongLazyScanDoesNotRunOutOfStack) {
  // A lazy group repeated over a long subject backtracks deeply; it must still match.
  const Text body(200000, 'x');
  const Text subject = "<div id=\"content\">" + body + "</div>";
  RegexObject regex;
  ASSERT_TRUE(regex.Create("<div id=\"content\">((?:.|\\n)*?)</div>", subject));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubmatchText(1, 1), body);
}

TEST(RegexObjectTest, Submatches) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("(\\d+)-(\\d+)", "12-34 5-6"));
  EXPECT_EQ(regex.SubmatchCount(), 2);
  EXPECT_EQ(regex.SubmatchText(1, 2), "34");
  EXPECT_EQ(regex.SubmatchText(2, 1), "5");
  EXPECT_EQ(regex.SubmatchText(1, 0), "");
  EXPECT_EQ(regex.SubmatchText(1, 3), "");
  EXPECT_EQ(regex.SubmatchText(3, 1), "");
  EXPECT_EQ(regex.MatchText(0), "");
  EXPECT_EQ(regex.MatchText(3), "");

  ASSERT_TRUE(regex.Create("(\\d+)", "abc"));
  EXPECT_EQ(regex.SubmatchCount(), 0);
}

TEST(RegexObjectTest, OffsetsCountBytesOfTheGbkSubject) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("(x)?(\\d+)", G("第一章12 a3")));
  int offset = 0;
  EXPECT_EQ(regex.MatchText(1, &offset), "12");
  EXPECT_EQ(offset, 6);
  EXPECT_EQ(regex.SubmatchText(2, 2, &offset), "3");
  EXPECT_EQ(offset, 10);
  EXPECT_EQ(regex.SubmatchText(1, 1, &offset), "");
  EXPECT_EQ(offset, -1);
  EXPECT_EQ(regex.MatchText(5, &offset), "");
  EXPECT_EQ(offset, -1);
}

TEST(RegexObjectTest, QuoteMarker) {
  const Text pattern = G("href=#引号(.*?)#引号");
  const Text subject = "<a href=\"/1.html\">";
  RegexObject regex;
  ASSERT_TRUE(regex.Create(pattern, subject, false, true, true, true));
  EXPECT_EQ(regex.GetPattern(), "href=\"(.*?)\"");
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubmatchText(1, 1), "/1.html");

  ASSERT_TRUE(regex.Create(pattern, subject));
  EXPECT_EQ(regex.GetPattern(), pattern);
  EXPECT_EQ(regex.MatchCount(), 0);
}

TEST(RegexObjectTest, CopySharesTheMatchesOfItsTime) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("b", "abcb"));
  const RegexObject copy(regex);
  EXPECT_FALSE(regex.Create("(", "x"));
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.Replace("-"), "a-c-");
}

struct ReplaceCase {
  const char* pattern;
  const char* subject;
  const char* replacement;
  const char* expected;
  bool global = true;
};

TEST(RegexObjectTest, Replace) {
  const ReplaceCase cases[] = {
      {"\\n\\s*\\r", "x\r\n\r\ny", "", "x\r\ny"},
      {"(\\w+)@(\\w+)", "me@host", "$2 at $1", "host at me"},
      {"b", "abc", "[$&$$]", "a[b$]c"},
      {"b", "abc", "$`|$'", "aa|cc"},
      {"(a)", "a", "$2$1$0$", "$2a$0$"},
      {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij", "$10-$11", "j-a1"},
      {"a", "aaa", "b", "baa", false},
      {"章", "第一章第二章", "节", "第一节第二节"},
      {"x*", "ab", "-", "-a-b-"},
  };
  for (const ReplaceCase& c : cases) {
    RegexObject regex;
    ASSERT_TRUE(regex.Create(G(c.pattern), G(c.subject), false, true, c.global)) << c.pattern;
    EXPECT_EQ(GbkToUtf8(regex.Replace(G(c.replacement))), c.expected) << c.pattern;
  }
}

}  // namespace
