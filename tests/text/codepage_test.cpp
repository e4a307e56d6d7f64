#include "text/codepage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

Bytes Units(std::u16string_view units) {
  Bytes out;
  for (char16_t u : units) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

TEST(CodePage, Utf8ToAnsi) {
  struct Case {
    const char* name;
    Text utf8;
    Text gbk;
  };
  const Case cases[] = {
      {"two characters", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
      {"ascii", "Hello, <b>1</b>\r\n", "Hello, <b>1</b>\r\n"},
      {"empty", "", ""},
      {"emoji between",
       "a\xF0\x9F\x98\x80"
       "b",
       "a??b"},  // one "?" per UTF-16 unit
      {"lone 0xFF", "a\xFF\xE4\xB8\xAD", "a?\xD6\xD0"},
      {"cut sequence", "\xE4\xB8", "?"},
      {"overlong",
       "\xC0\xAF"
       "x",
       "??x"},
      {"surrogate in utf-8", "\xED\xA0\x80", "???"},
      {"no-break space", "\xC2\xA0\xC2\xA0x", "  x"},
      {"euro", "\xE2\x82\xAC", "\x80"},
      {"full-width space", "\xE3\x80\x80", "\xA1\xA1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.gbk) << c.name;
}

TEST(CodePage, Utf16FormEndsWithZeroUnit) {
  const Bytes u = TextToUtf16(
      "\xE4\xB8\xAD"
      "a");
  EXPECT_EQ(u, Units(u"\u4E2Da"));
  EXPECT_EQ(TextToUtf16(""), Units(u""));
  // Decoding stops at the first zero byte.
  EXPECT_EQ(TextToUtf16(std::string_view("a\0b", 3)), Units(u"a"));
  // Encoding stops at the first zero unit.
  Bytes withZero = Units(u"ab");
  withZero.insert(withZero.begin() + 2, {0, 0});
  EXPECT_EQ(Utf16ToText(withZero, 936), "a");
  // Code page 0 is this system's ANSI code page, GBK.
  EXPECT_EQ(Utf16ToText(Units(u"\u4E2D")), "\xD6\xD0");
  EXPECT_EQ(TextToUtf16("\xD6\xD0", 0), Units(u"\u4E2D"));
  EXPECT_EQ(Utf16ToText(Units(u"\u4E2D"), 65001), "\xE4\xB8\xAD");
}

TEST(CodePage, GbkEdges) {
  EXPECT_EQ(GbkToUtf8("\xD6\xD0\xCE\xC4"), "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(GbkToUtf16("\x80"), u"\u20AC");
  // A lead byte at the end, or before a byte that cannot follow it, is not valid GBK.
  EXPECT_EQ(GbkToUtf16("a\xD6"), u"a\uFFFD");
  EXPECT_EQ(GbkToUtf16("\xD6\x20"
                       "b"),
            u"\uFFFD b");
  EXPECT_EQ(Utf16ToGbk(u"\u00A0\u4E2D\U0001F600"), " \xD6\xD0??");
}

TEST(CodePage, OtherCodePagesGoThroughIconv) {
  EXPECT_EQ(TextToUtf16("\xE9", 1252), Units(u"\u00E9"));
  EXPECT_EQ(Utf16ToText(Units(u"\u00E9x"), 1252), "\xE9x");
}

// Every double-byte code that code page 936 defines decodes to one UTF-16 unit and encodes back to
// the same two bytes.
TEST(CodePage, EveryDoubleByteCodeRoundTrips) {
  int defined = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const Text code = {static_cast<char>(lead), static_cast<char>(trail)};
      const std::u16string units = GbkToUtf16(code);
      // An undefined code decodes to U+FFFD for its lead byte, then its trail byte on its own.
      if (units[0] == 0xFFFD) continue;
      ASSERT_EQ(units.size(), 1u) << std::hex << lead << " " << trail;
      ++defined;
      EXPECT_EQ(Utf16ToGbk(units), code) << std::hex << lead << " " << trail;
    }
  }
  // Windows' table defines 21791 double-byte codes.
  EXPECT_EQ(defined, 21791);
}

TEST(CodePage, ConcurrentConversionsAgree) {
  const Text utf8 = "\xE7\xAC\xAC\xE4\xB8\x80\xE7\xAB\xA0 chapter \xC2\xA0\xC2\xA0 end";
  // Written out, so that the threads race to be the first conversion of the process.
  const Text expected = "\xB5\xDA\xD2\xBB\xD5\xC2 chapter    end";
  const Text utf8WithSpace = "\xE7\xAC\xAC\xE4\xB8\x80\xE7\xAB\xA0 chapter    end";
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 32; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        if (Utf8ToAnsi(utf8) != expected || GbkToUtf8(expected) != utf8WithSpace) {
          ++mismatches;
        }
      }
    });
  }
  for (auto& t : threads)
    t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
