#include "text/text_ops.h"

#include <gtest/gtest.h>

#include <optional>

#include "text/codepage.h"

namespace {

// GBK bytes of a UTF-8 literal.
Text G(const char* utf8) {
  return Utf8ToAnsi(utf8);
}

struct FindCase {
  const char* name;
  Text text;
  Text needle;
  std::optional<int> start;
  bool ignoreCase;
  int forward;  // FindText
  int reverse;  // FindTextReverse
};

TEST(TextOps, FindForwardAndReverse) {
  const FindCase cases[] = {
      {"from 4", "abcabc", "c", 4, false, 6, 3},
      {"from 0 counts as 1", "abcabc", "c", 0, false, 3, -1},
      {"beyond the end", "abc", "c", 9, false, -1, 3},
      {"omitted start", "abcabc", "c", std::nullopt, false, 3, 6},
      {"ignore case", "User-agent: x", "User-Agent:", std::nullopt, true, 1, 1},
      {"exact case", "User-agent: x", "User-Agent:", std::nullopt, false, -1, -1},
      {"needle longer than text", "ab", "abc", std::nullopt, false, -1, -1},
      // 中文 is D6 D0 CE C4; 形 is D0 CE: the bytes occur, the character does not.
      {"never on a second byte", G("中文"), G("形"), std::nullopt, false, -1, -1},
      {"after a pair", G("中a"), "a", std::nullopt, false, 3, 3},
      {"case folds ASCII only", G("中A"), "a", std::nullopt, true, 3, 3},
      {"empty text", "", "a", std::nullopt, false, -1, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.text, c.needle, c.start, c.ignoreCase), c.forward) << c.name;
    EXPECT_EQ(FindTextReverse(c.text, c.needle, c.start, c.ignoreCase), c.reverse) << c.name;
  }
}

TEST(TextOps, FindTextReverseStepsLeftOnePerCall) {
  const Text t = "1.22.333";
  EXPECT_EQ(FindTextReverse(t, "."), 5);
  EXPECT_EQ(FindTextReverse(t, ".", 5), 2);
  EXPECT_EQ(FindTextReverse(t, ".", 2), -1);
  EXPECT_EQ(FindTextReverse(t, ".", 1), -1);
  // A match must lie wholly before start.
  EXPECT_EQ(FindTextReverse("abab", "ab", 4), 1);
  EXPECT_EQ(FindTextReverse("aaa", "aa"), 2);
}

TEST(TextOps, CutsCountPlainBytes) {
  EXPECT_EQ(TextLeft("abc", -2), "");
  EXPECT_EQ(TextLeft("", 5), "");
  EXPECT_EQ(TextLeft("abc", 2), "ab");
  EXPECT_EQ(TextRight("abc", 5), "abc");
  EXPECT_EQ(TextRight("abc", 1), "c");
  EXPECT_EQ(TextRight("abc", 0), "");
  EXPECT_EQ(TextMid("abc", 3, 9), "c");
  EXPECT_EQ(TextMid("abc", 0, 2), "");
  EXPECT_EQ(TextMid("abc", 4, 1), "");
  EXPECT_EQ(TextMid("abc", 2, -1), "");
  EXPECT_EQ(TextLeft(G("中"), 1), "\xD6");  // a pair may be cut in two
  EXPECT_EQ(TextLength(G("中a")), 3);
}

TEST(TextOps, ReplaceText) {
  struct Case {
    Text text, needle, replacement;
    bool ignoreCase;
    Text expected;
  };
  const Case cases[] = {
      {"a;;;b", ";;", ";", false, "a;;b"},
      {"set-cookie: x", "Set-Cookie", "Set-Cookie", true, "Set-Cookie: x"},
      {"aXbx", "x", "", false, "aXb"},
      {"aXbx", "x", "", true, "ab"},
      {"abc", "", "z", false, "abc"},
      {"", "a", "z", false, ""},
      {"aaa", "a", "aa", false, "aaaaaa"},
      {G("中文"), G("形"), "x", false, G("中文")},
      {G("#引号x#引号"), G("#引号"), "\"", false, "\"x\""},
      {"abcab", "ab", "", false, "c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceText(c.text, c.needle, c.replacement, c.ignoreCase), c.expected) << c.text;
  }
  EXPECT_EQ(ReplaceText("xax", "x"), "a");  // an omitted replacement deletes
}

TEST(TextOps, SplitText) {
  struct Case {
    Text text, delimiter;
    TextArray expected;
  };
  const Case cases[] = {
      {"", ";", {}},
      {"a=1;", ";", {"a=1"}},
      {"a;;b", ";", {"a", "", "b"}},
      {";a", ";", {"", "a"}},
      {"\r\nx\r\ny", "\r\n", {"", "x", "y"}},
      {"abc", "", {"abc"}},
      {"ab", "abc", {"ab"}},
      // The delimiter is never matched across a character boundary.
      {G("中文"), G("形"), {G("中文")}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SplitText(c.text, c.delimiter), c.expected) << c.text;

  const TextArray parts = SplitText("x;y", ";");
  EXPECT_EQ(ArrayCount(parts), 2);
  EXPECT_EQ(ArrayMember(parts, 1), "x");
  EXPECT_EQ(ArrayMember(parts, 2), "y");
  EXPECT_EQ(ArrayMember(parts, 0), "");
  EXPECT_EQ(ArrayMember(parts, 3), "");
}

TEST(TextOps, SpacesAndCase) {
  const Text full = "\xA1\xA1";  // the GBK full-width space
  EXPECT_EQ(TrimText(" \tx "), "\tx");
  EXPECT_EQ(TrimText(full + "x"), "x");
  EXPECT_EQ(TrimText("x" + full + " " + full), "x");
  EXPECT_EQ(TrimText(" " + full + " "), "");
  EXPECT_EQ(TrimText("\r\nx\r\n"), "\r\nx\r\n");
  // A trailing lone 0xA1 is not half of a full-width space.
  EXPECT_EQ(TrimText("x\xA1"), "x\xA1");
  // 0xA1 0xA1 that is really the second byte of one pair and the first of the next stays.
  EXPECT_EQ(TrimText("\xB0\xA1\xA1\xA2"), "\xB0\xA1\xA1\xA2");
  EXPECT_EQ(RemoveSpaces("a b" + full + "c"), "abc");
  EXPECT_EQ(RemoveSpaces(" "), "");

  EXPECT_EQ(ToLower("AbC-Z"), "abc-z");
  // 0x81 0x41 is one character whose second byte is 'A': it must stay.
  EXPECT_EQ(ToLower("\x81\x41Q"), "\x81\x41q");
  EXPECT_EQ(ToLower("Q\x81"), "q\x81");
}

TEST(TextOps, Numbers) {
  struct Case {
    Text text;
    int value;
  };
  const Case cases[] = {{"8080/", 8080}, {"", 0},   {"x1", 0},  {"  -12x", -12},
                        {"+7", 7},       {"-", 0},  {"007", 7}, {"99999999999", 2147483647},
                        {"\t3", 3},      {"1 2", 1}};
  for (const auto& c : cases)
    EXPECT_EQ(ToInteger(c.text), c.value) << c.text;
  EXPECT_EQ(ToText(0), "0");
  EXPECT_EQ(ToText(-45), "-45");
  EXPECT_EQ(ToText(1234), "1234");
}

TEST(TextOps, BytesAndBlanks) {
  EXPECT_EQ(BytesToText(Bytes{0x41, 0x00, 0x42}), "A");
  EXPECT_EQ(BytesToText(Bytes{}), "");
  EXPECT_EQ(TextToBytes("ab"), (Bytes{'a', 'b'}));
  EXPECT_EQ(BlankText(3), "   ");
  EXPECT_EQ(BlankText(0), "");
  EXPECT_EQ(BlankBytes(2), (Bytes{0, 0}));
  EXPECT_TRUE(BlankBytes(-1).empty());
  EXPECT_EQ(BytesLeft(Bytes{1, 2, 3}, 2), (Bytes{1, 2}));
  EXPECT_EQ(BytesLeft(Bytes{1, 2, 3}, 9), (Bytes{1, 2, 3}));
  EXPECT_TRUE(BytesLeft(Bytes{1}, -1).empty());
  EXPECT_EQ(BytesLength(Bytes{1, 0, 2}), 3);
  EXPECT_EQ(CharFromCode(65), "A");
  EXPECT_EQ(CharFromCode(0), "");
  EXPECT_EQ(CharFromCode(0xB0), "\xB0");
  EXPECT_EQ(Concat(Text("a"), "", "b", Text()), "ab");
  EXPECT_EQ(ConcatBytes(Bytes{1}, Bytes{}, Bytes{2, 0}), (Bytes{1, 2, 0}));
}

TEST(TextOps, Compare) {
  EXPECT_EQ(CompareText(Text(), ""), 0);
  EXPECT_LT(CompareText("a", "b"), 0);
  EXPECT_GT(CompareText("ab", "a"), 0);
  // Unsigned order: a GBK lead byte sorts after every ASCII byte.
  EXPECT_GT(CompareText("\xB0", "z"), 0);
  EXPECT_TRUE(CompareBytes(Bytes{1, 0}, Bytes{1, 0}));
  EXPECT_FALSE(CompareBytes(Bytes{1}, Bytes{1, 0}));
}

TEST(TextOps, TextBetween) {
  struct Case {
    const char* name;
    Text text, from, to;
    Text expected;
  };
  const Case cases[] = {
      {"title", "<title>Book</title>", "<title>", "</title>", "Book"},
      {"first of each", "<t>a</t><t>b</t>", "<t>", "</t>", "a"},
      {"end only before start", "</t>x<t>y", "<t>", "</t>", ""},
      {"no start", "x</t>", "<t>", "</t>", ""},
      {"no end", "<t>x", "<t>", "</t>", ""},
      {"empty between", "<t></t>", "<t>", "</t>", ""},
      {"quote marker", "href=\"/a.html\"", G("href=#引号"), G("#引号"), "/a.html"},
      {"gbk", G("《书名》正文"), G("《"), G("》"), G("书名")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.from, c.to), c.expected) << c.name;
  }
  EXPECT_EQ(TextBetween("<T>a</t>", "<t>", "</T>", std::nullopt, true), "a");
  EXPECT_EQ(TextBetween("<t>a</t><t>b</t>", "<t>", "</t>", 2), "b");
}

}  // namespace
