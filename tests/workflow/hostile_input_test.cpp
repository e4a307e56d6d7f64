// What the user types, at its worst: addresses, patterns and book titles that no site should
// produce. Each ends in a clear outcome, within a bound, with nothing written outside the
// program's directory.
#include <QLabel>
#include <QPushButton>
#include <filesystem>
#include <set>

#include "fault_fixture.h"
#include "pump_wait.h"
#include "text/codepage.h"
#include "workflow/export_file.h"
#include "workflow/window_ops.h"
#include "workflow/workflow.h"

namespace {

using std::chrono::seconds;

std::set<std::string> Entries(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

QString CountLabel(int n) {
  return QString::fromUtf8("已匹配章节：%1个").arg(n);
}

class HostileInputTest : public FaultTest {
 protected:
  // Starts the book site (with `routes` already set) and a window on its table of contents.
  void Serve() {
    ASSERT_TRUE(StartBookSite(*site_book_, address_));
    OpenWindow();
    SetEdit(Control::tocUrlEdit, QString::fromStdString(Url(DemoTocPath())));
  }
  std::string Url(const std::string& path) const { return "http://" + address_ + path; }
  // Matches, and fails when the job has not given the buttons back within `limit`.
  void TimedMatch(seconds limit) {
    const bool exportEnabled = window_->exportButton->isEnabled();
    window_->matchButton->click();
    ASSERT_TRUE(PumpUntil([&] { return ButtonsEnabled(true, true, exportEnabled); }, limit));
  }
};

TEST_F(HostileInputTest, AddressesThatNameNoPageFindNothing) {
  Book(2, "地址书");
  ASSERT_NO_FATAL_FAILURE(Serve());
  const char* addresses[] = {
      "",
      "garbage",
      "::::////",
      "http://",
      "http://exa mple.invalid/ list /1.html",
      "http://小说.invalid/目录.html",
      "https://127.0.0.1:99999/",
      "http://127.0.0.1:-5/",
      "ftp://127.0.0.1/list.html",
      "http://[::1/",
  };
  for (const char* address : addresses) {
    SCOPED_TRACE(address);
    SetEdit(Control::tocUrlEdit, QString::fromUtf8(address));
    ASSERT_NO_FATAL_FAILURE(TimedMatch(seconds(5)));
    EXPECT_EQ(window_->matchCountLabel->text(), CountLabel(0));
    EXPECT_TRUE(window_->windowTitle().endsWith("----------"));
  }
  // A Chinese path and spaces in it still reach the site, percent-encoded as the tool holds them:
  // in GBK (the client writes the hex digits in lower case).
  site_book_->server.reset();
  BookSite& site = Book(2, "地址书");
  site.routes["/%c4%bf%c2%bc%20a.html"] = [&site](const std::string& path, HostileConnection& c) {
    ServeFault(c, Fault::None, path, DemoTocPage(site.options));
  };
  ASSERT_TRUE(StartBookSite(site, address_));
  SetEdit(Control::tocUrlEdit, QString::fromStdString(Url("/目录 a.html")));
  ASSERT_NO_FATAL_FAILURE(TimedMatch(seconds(5)));
  EXPECT_EQ(window_->matchCountLabel->text(), CountLabel(2));
  ASSERT_NO_FATAL_FAILURE(Collect(seconds(20)));
  ExpectExportOfAllRows();
}

TEST_F(HostileInputTest, PatternsThatBreakOrRunWildEndWithACount) {
  BookSite& site = Book(2, "模式书");
  // A page on which nested quantifiers backtrack without end.
  site.routes["/backtrack.html"] = [](const std::string& path, HostileConnection& c) {
    ServeFault(c, Fault::None, path, "<title>t</title>" + std::string(5000, 'a') + "!");
  };
  ASSERT_NO_FATAL_FAILURE(Serve());

  struct PatternCase {
    const char* pattern;
    const char* url;  // path on the site
    int matches;      // -1: one per character position of the page and more
  };
  const PatternCase cases[] = {
      {"(unclosed", "/list/1537326.html", 0},
      {"[z-a]", "/list/1537326.html", 0},
      {"*", "/list/1537326.html", 0},
      {"\\", "/list/1537326.html", 0},
      {"", "/list/1537326.html", -1},
      {"x*", "/list/1537326.html", -1},
      {"(a+)+$", "/backtrack.html", 0},
      {"(a|aa)*(a|aa)*(a|aa)*b", "/backtrack.html", 0},
      {"/chapter/\\d+/\\d+.html", "/list/1537326.html", 2},
  };
  for (const PatternCase& c : cases) {
    SCOPED_TRACE(c.pattern);
    SetEdit(Control::tocUrlEdit, QString::fromStdString(Url(c.url)));
    SetEdit(Control::linkPatternEdit, QString::fromUtf8(c.pattern));
    ASSERT_NO_FATAL_FAILURE(TimedMatch(seconds(20)));
    const int rows = ListRowCount(Control::linkList);
    EXPECT_EQ(window_->matchCountLabel->text(), CountLabel(rows));
    if (c.matches >= 0) {
      EXPECT_EQ(rows, c.matches);
    } else {
      EXPECT_GT(rows, 500);
    }
    // The empty matches join to nothing, so the run that follows has no chapter and ends at once.
    ASSERT_NO_FATAL_FAILURE(Collect(seconds(20)));
    EXPECT_EQ(ListRowCount(Control::chapterList), c.matches > 0 ? c.matches : 0);
  }
}

TEST_F(HostileInputTest, HundredThousandLinksAreCountedAndListed) {
  constexpr int kLinks = 100000;
  BookSite& site = Book(1, "万链书");
  // The page is 4 MB: the real body cap, not the lowered one.
  FetchLimits limits = GetFetchLimits();
  limits.maxBodyBytes = saved_.maxBodyBytes;
  SetFetchLimits(limits);
  site.routes["/many.html"] = [](const std::string& path, HostileConnection& c) {
    std::string page = "<html><head><title>many</title></head><body>\n";
    for (int i = 1; i <= kLinks; ++i)
      page +=
          "<a href=\"/chapter/9/" + std::to_string(i) + ".html\">" + std::to_string(i) + "</a>\n";
    ServeFault(c, Fault::None, path, page + "</body></html>");
  };
  ASSERT_NO_FATAL_FAILURE(Serve());
  SetEdit(Control::tocUrlEdit, QString::fromStdString(Url("/many.html")));
  // Each listed row is one call handed to the main thread.
  ASSERT_NO_FATAL_FAILURE(TimedMatch(seconds(120)));
  EXPECT_EQ(window_->matchCountLabel->text(), CountLabel(kLinks));
  EXPECT_EQ(ListRowCount(Control::linkList), kLinks);
  EXPECT_EQ(ListGetCellText(Control::linkList, kLinks - 1, 1), "/chapter/9/100000.html");
  // A filter that keeps one of them: the run ends with that one row (its page is a 404 here).
  SetEdit(Control::filterPatternEdit, "/chapter/9/7777\\.html");
  ASSERT_NO_FATAL_FAILURE(Collect(seconds(30)));
  EXPECT_EQ(ListRowCount(Control::chapterList), 1);
}

struct TitleCase {
  const char* what;
  std::string title;  // UTF-8, as the page's <title> holds it
  bool written;
};

TEST_F(HostileInputTest, BookTitlesNeverWriteOutsideTheProgramDirectory) {
  const TitleCase cases[] = {
      {"slash", "a/b", false},
      {"backslash", "a\\b", false},
      {"parent path", "../../出逃", false},
      {"dot dot", "..", true},
      {"control characters", "书\x01\x1b[31m名\x7f", false},
      {"line break", "第一行\n第二行", false},
      {"300 bytes", std::string(300, 'x'), false},
      {"the longest name that fits",
       [] {
         std::string t;
         for (int i = 0; i < 83; ++i)
           t += "书";
         return t;
       }(),
       true},
      {"empty", "", true},
  };
  const std::string directory = ProgramDirectory();
  const std::string parent = std::filesystem::path(directory).parent_path().string();
  for (const TitleCase& c : cases) {
    SCOPED_TRACE(c.what);
    BookSite& site = Book(2, c.title, true);
    ASSERT_NO_FATAL_FAILURE(Serve());
    const std::set<std::string> parentBefore = Entries(parent);
    const std::set<std::string> before = Entries(directory);
    ASSERT_NO_FATAL_FAILURE(Match());
    ASSERT_NO_FATAL_FAILURE(Collect(seconds(20)));
    SelectAllChapters();
    const MessageBoxCatcher::Seen seen = Export();
    EXPECT_EQ(seen.text, QString::fromUtf8(c.written ? "写出到文本成功！" : "写出到文本失败！"));
    EXPECT_EQ(Entries(parent), parentBefore);
    std::set<std::string> after = Entries(directory);
    if (c.written) {
      const std::string name = std::filesystem::path(BookFile()).filename().string();
      EXPECT_EQ(after.erase(name), 1u) << name;
      std::filesystem::remove(BookFile());
    }
    EXPECT_EQ(after, before);
    window_.reset();
    site.server.reset();
  }
  options_.bookTitle.clear();
}

}  // namespace
