#include "extract/pattern_translation.h"

#include <gtest/gtest.h>

namespace {

struct TranslationCase {
  const char* pattern;
  bool multiline;
  const char* expected;
};

TEST(PatternTranslationTest, RewritesOnlyWhatDiffers) {
  const TranslationCase cases[] = {
      {"^a$", true, "(?<![^\\n\\r])a(?![^\\n\\r])"},
      {"^a$", false, "\\Aa\\z"},
      {"[^$]", true, "[^$]"},
      {"[a^$]", false, "[a^$]"},
      {"\\^\\$", true, "\\^\\$"},
      {"[]^", false, "[]\\A"},
      {"\\u4e00", true, "\\x{4e00}"},
      {"[\\u4e00-\\u9FA5]", true, "[\\x{4e00}-\\x{9fa5}]"},
      {"\\ud83d\\ude00", true, "\\x{1f600}"},
      {"\\u12", true, "u12"},
      {"\\x41\\x4", true, "\\x{41}x4"},
      {"\\v", true, "\\x{b}"},
      {"\\cJ\\c1", true, "\\x{a}\\\\c1"},
      {"\\e\\h\\z\\Q", true, "ehzQ"},
      {"\\d\\s\\w\\b\\n\\r\\t\\f\\1\\.", true, "\\d\\s\\w\\b\\n\\r\\t\\f\\1\\."},
      {"(?<n>a)\\k<n>\\k", true, "(?<n>a)\\k<n>k"},
      {"[[:alpha:]]", true, "[\\[:alpha:]]"},
      {"第\\d+章$", false, "第\\d+章\\z"},
      {"a\\", true, "a\\"},
  };
  for (const TranslationCase& c : cases) {
    EXPECT_EQ(TranslatePattern(c.pattern, c.multiline), c.expected) << c.pattern;
  }
}

}  // namespace
