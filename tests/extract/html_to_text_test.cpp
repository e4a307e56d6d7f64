#include "extract/html_to_text.h"

#include <gtest/gtest.h>

#include <string>

#include "text/codepage.h"

namespace {

std::string Render(std::string_view utf8Html) {
  return GbkToUtf8(HtmlToText(Utf8ToAnsi(utf8Html)));
}

struct RenderCase {
  const char* html;      // UTF-8
  const char* expected;  // UTF-8
};

TEST(HtmlToTextTest, RendersLikeInnerText) {
  const RenderCase cases[] = {
      {"", ""},
      {"a<br>b", "a\r\nb"},
      {"a<br><br>b", "a\r\n\r\nb"},
      {"<p>a</p><p>b</p>", "a\r\n\r\nb"},
      {"<div>a</div><div>b</div>", "a\r\nb"},
      {"<div>a<br></div><div>b</div>", "a\r\nb"},
      {"<h1>T</h1><p>x</p>", "T\r\n\r\nx"},
      {"<ul><li>a</li><li>b</li></ul>", "a\r\nb"},
      {"a&amp;b", "a&b"},
      {"&lt;&#x7b2c;&#31456;&gt;&hellip;", "<第章>…"},
      {"<html><head><title>T</title></head><body></body></html>", ""},
      {"<html><head><title>T</title><style>p{}</style></head><body> \n </body></html>", ""},
      {"  a \n\t b  ", "a b"},
      {"<div> a </div> <div>  b\n</div>", "a\r\nb"},
      {"<b>a</b> <i>b</i>c", "a bc"},
      {"x<!-- <div>c</div> -->y", "xy"},
      {"<script>var s = '<div>x</div>';</script>a<style>p{}</style><noscript>n</noscript>"
       "<template>t</template><div hidden>h</div><span hidden>h</span>b",
       "ab"},
      {"&nbsp;&nbsp;x&nbsp;", "  x "},
      {"<pre>  a\n   b</pre>c", "  a\r\n   b\r\nc"},
      {"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td><td></td><td>d</td></tr></table>",
       "a\tb\r\nc\t\td"},
      {"第一章<br />\r\n正文", "第一章\r\n正文"},
  };
  for (const RenderCase& c : cases)
    EXPECT_EQ(Render(c.html), c.expected) << c.html;
}

TEST(HtmlToTextTest, DeepNestingRendersItsText) {
  const int depth = 100000;
  std::string html = "<div>top</div>";
  for (int i = 0; i < depth; ++i)
    html += "<div>";
  html += "deep";
  for (int i = 0; i < depth; ++i)
    html += "</div>";
  html += "<div>end</div>";
  EXPECT_EQ(Render(html), "top\r\ndeep\r\nend");

  std::string unclosed;
  for (int i = 0; i < depth; ++i)
    unclosed += "<span><b>";
  unclosed += "x";
  EXPECT_EQ(Render(unclosed), "x");

  std::string misnested;
  for (int i = 0; i < depth; ++i)
    misnested += "<i></b>";
  misnested += "x";
  EXPECT_EQ(Render(misnested), "x");
}

TEST(HtmlToTextTest, UnclosedInlineTagsDoNotCountAsNesting) {
  std::string html;
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    html += "<div><font color=red>" + std::to_string(i) + "</div>";
    expected += (i > 0 ? "\r\n" : "") + std::to_string(i);
  }
  EXPECT_EQ(Render(html), expected);
}

TEST(HtmlToTextTest, ModerateNestingKeepsItsStructure) {
  std::string html;
  for (int i = 0; i < 500; ++i)
    html += "<div>" + std::to_string(i);
  EXPECT_EQ(Render(html).substr(0, 11), "0\r\n1\r\n2\r\n3\r");
  EXPECT_EQ(Render(html).substr(Render(html).size() - 5), "\r\n499");
}

}  // namespace
