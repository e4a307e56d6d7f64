#include "web/cookies.h"

#include <gtest/gtest.h>

#include "text/codepage.h"

namespace {

struct MergeCase {
  const char* old;
  const char* fresh;
  const char* merged;
  const char* freshAfter;
};

TEST(MergeCookies, FoldsNewCookiesIntoOld) {
  const MergeCase cases[] = {
      {"a=1; b=2", "b=3; c=4", "a=1;b=3;c=4;", "b=3;c=4"},
      {"a=1", "a=deleted", "", "a=deleted"},
      {"a=1; b=2", "", "a=1;b=2", ""},
      {"", "x=1", "x=1;", "x=1"},
      {"flag; a=1", "b=2", "a=1;b=2;", "b=2"},
      {"a=1", "flag", "a=1;", "flag"},
      {"", "t=a=b", "t=a=b;", "t=a=b"},
      {"a=1;a=2", "a=3", "a=3;a=2;", "a=3"},
      {"", "a=1;a=2", "a=2;", "a=1;a=2"},
      {"n=x y", "m=1", "n=xy;m=1;", "m=1"},
      {"A=1", "a=2", "A=1;a=2;", "a=2"},
      {";;a=1", "=5;b=", "a=1;", "=5;b="},
      {"a=1", " b = 2 ", "a=1;b=2;", "b=2"},
  };
  for (const MergeCase& c : cases) {
    Text old = c.old;
    Text fresh = c.fresh;
    Text merged = MergeCookies(old, fresh);
    EXPECT_EQ(merged, c.merged) << c.old << " + " << c.fresh;
    EXPECT_EQ(old, merged) << c.old << " + " << c.fresh;
    EXPECT_EQ(fresh, c.freshAfter) << c.old << " + " << c.fresh;
  }
}

TEST(MergeCookies, RemovesFullWidthSpacesToo) {
  Text old = Concat("a=1", Utf8ToAnsi("\u3000"), ";b=2");
  Text fresh;
  EXPECT_EQ(MergeCookies(old, fresh), "a=1;b=2");
}

TEST(CookieEntry, SplitsAtTheFirstEquals) {
  EXPECT_EQ(CookieName(" t = a=b"), "t");
  EXPECT_EQ(CookieValue(" t = a=b"), " a=b");
  EXPECT_EQ(CookieName(" flag "), "flag");
  EXPECT_EQ(CookieValue("flag"), "");
}

}  // namespace
