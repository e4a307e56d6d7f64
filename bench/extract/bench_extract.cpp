// The chapter pipeline on a generated chapter page of about 30 KB, on one core: decode, render,
// strip blank lines, cut the advert, split into lines, filter the navigation lines. Prints the
// throughput in MB/s of page markup and the time per page, in total and per step. Times are the
// thread's CPU time, so other work on a busy machine does not count.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "extract/chapter_cleanup.h"
#include "extract/html_to_text.h"
#include "text/codepage.h"

namespace {

// The calling thread's CPU time as a std::chrono clock.
struct Clock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<Clock>;
  static constexpr bool is_steady = true;
  static time_point now() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
  }
};

std::string ChapterPage(size_t targetBytes) {
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>第一章 风起_测试之书</title>\n"
      "<style>body{font-size:16px}</style><script>var bookId=1024;</script></head><body>\n"
      "<div class=\"top\"><a href=\"/\">Norvel小说网</a> | <a href=\"/login\">登录</a> | "
      "<a href=\"/shelf\">书架 </a></div>\n<div class=\"crumbs\"><a href=\"/\">首页</a> &gt; "
      "第一章 风起</div>\n<h1>第一章 风起</h1>\n<div id=\"content\">\n"
      "<p>本书首发来自Norvel小说网，第一时间看正版内容！ norvel.example</p>\n";
  const std::string footer =
      "</div>\n<div class=\"page-nav\"><a href=\"/0.html\">上一章</a> &larr; "
      "<a href=\"/\">返回目录</a> &rarr; <a href=\"/2.html\">下一章</a></div>\n</body></html>\n";
  for (int n = 1; page.size() + footer.size() < targetBytes; ++n) {
    page +=
        "&nbsp;&nbsp;&nbsp;&nbsp;清晨的风吹过山谷，少年推开了木门，&ldquo;今天&amp;明天，"
        "都会是好天气。&rdquo;他自言自语道。第" +
        std::to_string(n) + "段。<br /><br />\n";
    if (n % 20 == 0) page += "<!-- ad --><script>ad_show(\"inline\");</script>\n";
  }
  return page + footer;
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main() {
  const std::string page = ChapterPage(30 * 1024);
  double decode = 0, render = 0, strip = 0, cut = 0, split = 0, filter = 0;
  size_t checksum = 0;
  int pages = 0;
  const Clock::time_point begin = Clock::now();
  while (Clock::now() - begin < std::chrono::seconds(2) || pages < 20) {
    const Clock::time_point t0 = Clock::now();
    const Text gbk = Utf8ToAnsi(page);
    const Clock::time_point t1 = Clock::now();
    const Text rendered = HtmlToText(gbk);
    const Clock::time_point t2 = Clock::now();
    const Text stripped = StripBlankLines(rendered);
    const Clock::time_point t3 = Clock::now();
    const Text chapter = CutBetweenMarkers(stripped, chapterStartMarker, chapterEndMarker);
    const Clock::time_point t4 = Clock::now();
    const TextArray lines = SplitText(chapter, "\r\n");
    const Clock::time_point t5 = Clock::now();
    const Text text = FilterNavigationLines(ArrayCount(lines), lines);
    const Clock::time_point t6 = Clock::now();
    decode += Ms(t1 - t0);
    render += Ms(t2 - t1);
    strip += Ms(t3 - t2);
    cut += Ms(t4 - t3);
    split += Ms(t5 - t4);
    filter += Ms(t6 - t5);
    checksum += text.size();
    ++pages;
  }
  const double total = decode + render + strip + cut + split + filter;
  const double perPage = total / pages;
  std::printf("chapter page: %zu bytes, %d pages, %zu bytes of chapter text per page\n",
              page.size(), pages, checksum / pages);
  std::printf("pipeline: %.1f MB/s, %.3f ms per page (target: at least 20 MB/s)\n",
              page.size() / (perPage / 1000.0) / 1e6, perPage);
  std::printf(
      "per page: decode %.3f ms, render %.3f ms, strip %.3f ms, cut %.3f ms, "
      "split %.3f ms, filter %.3f ms\n",
      decode / pages, render / pages, strip / pages, cut / pages, split / pages, filter / pages);
  return 0;
}
