// The workflow against servers that fail: every job still ends, within a bound, with each row
// holding its chapter's text or nothing, and the tool still exports afterwards.
#include <QLabel>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fault_fixture.h"
#include "pump_wait.h"
#include "text/codepage.h"
#include "workflow/app_state.h"
#include "workflow/window_ops.h"
#include "workflow/workflow.h"

namespace {

using std::chrono::seconds;

// Where the table of contents is fetched from, and how that goes wrong.
enum class TocSource {
  Served,         // the book site answers the address with the case's fault
  Refused,        // a port nobody listens on
  Unresolvable,   // a host name under .invalid
  TrustedTls,     // https with a certificate the client trusts: the control case
  SelfSignedTls,  // https with a certificate nobody vouches for
  ExpiredTls,     // https with a trusted certificate that has expired
  HttpsToHttp,    // https that redirects to http, which is not followed
};

struct TocCase {
  const char* name;
  TocSource source;
  Fault fault;
  int matches;  // what the matching job finds
};

class TocFaultTest : public FaultTest, public testing::WithParamInterface<TocCase> {};

TEST_P(TocFaultTest, MatchingEndsAndTheToolStillWorks) {
  const TocCase& c = GetParam();
  BookSite& site = Book(3, "故障目录");
  site.routes["/toc/fault"] = [&site, fault = c.fault](const std::string& path,
                                                       HostileConnection& connection) {
    ServeFault(connection, fault, path, DemoTocPage(site.options));
  };
  ASSERT_TRUE(StartBookSite(site, address_));
  ASSERT_NO_FATAL_FAILURE(StartTlsServers());
  const std::string good = "http://" + address_ + DemoTocPath();
  std::string url;
  switch (c.source) {
    case TocSource::Served:
      url = "http://" + address_ + "/toc/fault";
      break;
    case TocSource::Refused:
      url = "http://" + address_ + ":" + std::to_string(ClosedPort()) + DemoTocPath();
      break;
    case TocSource::Unresolvable:
      url = "http://toc.norvel.invalid" + DemoTocPath();
      break;
    case TocSource::TrustedTls:
      url = "https://" + address_ + ":" + std::to_string(trusted_->port) + DemoTocPath();
      break;
    case TocSource::SelfSignedTls:
      url = "https://" + address_ + ":" + std::to_string(untrusted_->port) + DemoTocPath();
      break;
    case TocSource::ExpiredTls:
      url = "https://" + address_ + ":" + std::to_string(expired_->port) + DemoTocPath();
      break;
    case TocSource::HttpsToHttp:
      url = "https://" + address_ + ":" + std::to_string(trusted_->port) + "/to-http";
      break;
  }
  OpenWindow();
  SetEdit(Control::tocUrlEdit, QString::fromStdString(url));

  // A silent server costs one idle limit (1 s here, 60 s with the real limits). The drip is the
  // slowest: the client's speed check only now and then reads a byte a second as too slow, which
  // with the 1 s limit ends the transfer after some 5 to 15 s.
  const auto begun = std::chrono::steady_clock::now();
  ASSERT_NO_FATAL_FAILURE(Match());
  EXPECT_LT(std::chrono::steady_clock::now() - begun, seconds(30));
  EXPECT_EQ(window_->matchCountLabel->text(), QString::fromUtf8("已匹配章节：%1个").arg(c.matches));
  EXPECT_EQ(ListRowCount(Control::linkList), c.matches);
  if (c.matches == 0) {
    EXPECT_TRUE(window_->windowTitle().endsWith("----------"))
        << window_->windowTitle().toStdString();
  } else {
    EXPECT_TRUE(window_->windowTitle().contains(QString::fromUtf8("----------故障目录")));
  }
  if (c.source == TocSource::HttpsToHttp) {
    EXPECT_EQ(site.server->Requests(DemoTocPath()), 0);
  }

  // The collection run of what was found ends too: at once when nothing was.
  ASSERT_NO_FATAL_FAILURE(Collect(seconds(20)));
  ASSERT_EQ(ListRowCount(Control::chapterList), c.matches);
  for (int n = 1; n <= c.matches; ++n)
    EXPECT_EQ(Row(n - 1), ExpectedChapterText(n, site.options)) << "chapter " << n;
  if (c.matches == 0) {
    EXPECT_EQ(Export().text, QString::fromUtf8("请先选择小说章节再输出文本！"));
  }

  // A healthy site afterwards: the whole workflow works.
  SetEdit(Control::tocUrlEdit, QString::fromStdString(good));
  ASSERT_NO_FATAL_FAILURE(Match());
  ASSERT_NO_FATAL_FAILURE(Collect(seconds(20)));
  ExpectExportOfAllRows();
}

const TocCase kTocCases[] = {
    {"ConnectionRefused", TocSource::Refused, Fault::None, 0},
    {"ResetMidBody", TocSource::Served, Fault::Reset, 0},
    {"NeverAnswers", TocSource::Served, Fault::Silent, 0},
    {"OneByteASecond", TocSource::Served, Fault::Drip, 0},
    {"Error500WithBody", TocSource::Served, Fault::Error500Body, 0},
    {"Error500Empty", TocSource::Served, Fault::Error500Empty, 0},
    {"Error503WithBody", TocSource::Served, Fault::Error503Body, 0},
    {"Error503Empty", TocSource::Served, Fault::Error503Empty, 0},
    {"Empty200", TocSource::Served, Fault::Empty200, 0},
    {"TruncatedChunked", TocSource::Served, Fault::TruncatedChunked, 0},
    {"InvalidUtf8StillMatches", TocSource::Served, Fault::InvalidUtf8, 3},
    {"HugeBody", TocSource::Served, Fault::Huge, 0},
    {"RedirectLoop", TocSource::Served, Fault::RedirectLoop, 0},
    {"HttpsToHttpRedirect", TocSource::HttpsToHttp, Fault::None, 0},
    {"TrustedCertificate", TocSource::TrustedTls, Fault::None, 3},
    {"SelfSignedCertificate", TocSource::SelfSignedTls, Fault::None, 0},
    {"ExpiredCertificate", TocSource::ExpiredTls, Fault::None, 0},
    {"UnresolvableHost", TocSource::Unresolvable, Fault::None, 0},
};

INSTANTIATE_TEST_SUITE_P(Toc, TocFaultTest, testing::ValuesIn(kTocCases),
                         [](const testing::TestParamInfo<TocCase>& info) {
                           return std::string(info.param.name);
                         });

// One run in which every chapter page fails its own way: once (the next fetch is served) or for
// good. All chapters run at the same time, so the run costs about one chapter's worst case.
struct ChapterCase {
  Fault fault;
  bool transient;
  bool filled;  // whether the row ends up with the chapter's text
  const char* what;
};

const ChapterCase kChapterCases[] = {
    {Fault::Reset, false, false, "reset mid-body"},
    {Fault::Reset, true, true, "reset mid-body once"},
    {Fault::Silent, false, false, "never answers"},
    {Fault::Silent, true, true, "never answers once"},
    {Fault::Error500Empty, false, false, "500 empty"},
    {Fault::Error500Empty, true, true, "500 empty once"},
    // An error page renders to text, so the chapter is not fetched again: the row stays empty.
    {Fault::Error500Body, true, false, "500 with a page once"},
    {Fault::Error503Empty, false, false, "503 empty"},
    {Fault::Error503Empty, true, true, "503 empty once"},
    {Fault::Error503Body, true, false, "503 with a page once"},
    {Fault::Empty200, false, false, "empty 200"},
    {Fault::Empty200, true, true, "empty 200 once"},
    {Fault::TruncatedChunked, false, false, "truncated chunked"},
    {Fault::TruncatedChunked, true, true, "truncated chunked once"},
    {Fault::Huge, false, false, "200 MB body"},
    {Fault::Huge, true, true, "200 MB body once"},
    {Fault::RedirectLoop, false, false, "redirect loop"},
    {Fault::Drip, true, true, "one byte a second once"},
};

TEST_F(FaultTest, EveryChapterFaultEndsWithItsRowEmptyOrFilled) {
  constexpr int kPlain = 3;  // healthy chapters around the faulty ones
  const int faulty = static_cast<int>(std::size(kChapterCases));
  // Three more pages that fail for good through TLS and name resolution after a redirect.
  const int chapters = kPlain + faulty + 3;
  BookSite& site = Book(chapters, "故障章节");
  ASSERT_NO_FATAL_FAILURE(StartTlsServers());
  for (int i = 0; i < faulty; ++i) {
    const ChapterCase& c = kChapterCases[i];
    site.chapterFaults[kPlain + 1 + i] = {c.fault, c.transient ? 1 : -1, {}};
  }
  const int tls = kPlain + faulty + 1;
  auto https = [&](const HostileServer& server) {
    return "https://" + address_ + ":" + std::to_string(server.port) + DemoChapterPath(1);
  };
  site.chapterFaults[tls] = {Fault::Redirect, -1, https(*untrusted_)};
  site.chapterFaults[tls + 1] = {Fault::Redirect, -1, https(*expired_)};
  site.chapterFaults[tls + 2] = {Fault::Redirect, -1, "http://chapter.norvel.invalid/"};
  ASSERT_TRUE(StartBookSite(site, address_));
  OpenWindow();
  SetEdit(Control::tocUrlEdit, QString::fromStdString("http://" + address_ + DemoTocPath()));
  ASSERT_NO_FATAL_FAILURE(Match());

  // A page that fails for good costs five fetches and 7.5 s of pauses between them; the slowest
  // fetch here is a silent server's, one idle limit (1 s here, 60 s with the real limits).
  const auto begun = std::chrono::steady_clock::now();
  ASSERT_NO_FATAL_FAILURE(Collect(seconds(60)));
  EXPECT_LT(std::chrono::steady_clock::now() - begun, seconds(40));

  ASSERT_EQ(ListRowCount(Control::chapterList), chapters);
  for (int n = 1; n <= chapters; ++n) {
    bool filled = n <= kPlain;
    std::string what = "healthy";
    if (n > kPlain && n < tls) {
      filled = kChapterCases[n - kPlain - 1].filled;
      what = kChapterCases[n - kPlain - 1].what;
    } else if (n >= tls) {
      what = "redirect to a failing host";
    }
    EXPECT_EQ(Row(n - 1), filled ? ExpectedChapterText(n, site.options) : Text())
        << "chapter " << n << ": " << what;
  }
  // A page that fails for good was asked for five times, a transient one twice.
  EXPECT_EQ(site.server->Requests(DemoChapterPath(kPlain + 1)), 5);
  EXPECT_EQ(site.server->Requests(DemoChapterPath(kPlain + 2)), 2);
  ExpectExportOfAllRows();
}

TEST_F(FaultTest, InvalidUtf8InAChapterGivesTextAndNoCrash) {
  BookSite& site = Book(2, "乱码书");
  site.chapterFaults[2] = {Fault::InvalidUtf8, -1, {}};
  ASSERT_TRUE(StartBookSite(site, address_));
  OpenWindow();
  SetEdit(Control::tocUrlEdit, QString::fromStdString("http://" + address_ + DemoTocPath()));
  ASSERT_NO_FATAL_FAILURE(Match());
  ASSERT_NO_FATAL_FAILURE(Collect(seconds(20)));
  EXPECT_EQ(Row(0), ExpectedChapterText(1, site.options));
  const Text spoilt = Row(1);
  const Text heading = Utf8ToAnsi(DemoChapterHeading(2));
  EXPECT_EQ(spoilt.substr(0, heading.size()), heading);
  EXPECT_NE(spoilt.find(Utf8ToAnsi(DemoChapterParagraphs(2, site.options).back())), Text::npos);
  // What came out is GBK through and through.
  EXPECT_EQ(Utf8ToAnsi(GbkToUtf8(spoilt)), spoilt);
  ExpectExportOfAllRows();
}

}  // namespace
