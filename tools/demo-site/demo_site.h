// A demo novel site for tests, benchmarks and trying the collector by hand. It serves one
// generated book in the page format of the novel site the collector reads: a UTF-8 table of
// contents and one page per chapter, with the site's navigation lines, its advert line, indented
// paragraphs, character references, a script and a comment. Every page is a pure function of the
// options and the chapter number, so tests can predict the collected text.
//
// A chapter page, rendered to text, reads line by line: the navigation lines, the heading, the
// advert line ("本书首发" ... "www.norvel.example", the domain in capitals on every third chapter),
// then each paragraph after four no-break spaces, then the footer navigation lines. Every line
// outside the heading, the advert and the paragraphs holds one of the site's navigation words.
//
// Threads: the page and content functions (DemoChapterParagraphs ... DemoChapterPage) share
// nothing and may be called from any thread. StartDemoSite and StopDemoSite may be called from
// any thread, but not at the same time for the same site. The accessors (DemoRequestCount,
// UpdateDemoFaults, ...) may be called from any thread while the site runs. Nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What a page does instead of being served normally.
enum class DemoFailure {
  None,
  EmptyBody,      // 200 with an empty body
  Error500,       // 500 with a small error page
  Error500Empty,  // 500 with an empty body
  Error503,       // 503 with a small error page
  Error503Empty,  // 503 with an empty body
  NotFound,       // 404 with a small error page
  CutBody,        // the full Content-Length is announced, half the body is sent, then the
                  // connection is closed
  Stall,          // the request is read and never answered until the site stops
  Drip,           // the page is sent one byte a second
  NoAdvert,       // the page is served without the advert line
};

// One injected failure. chapter 0 is the table of contents, 1..chapters a chapter page.
// times: the first `times` fetches of the page fail and later ones are served; -1 fails every
// fetch (a page that never comes back).
struct DemoFault {
  int chapter = 0;
  DemoFailure failure = DemoFailure::None;
  int times = -1;
};

struct DemoSiteOptions {
  std::string address = "127.0.0.1";
  int port = 80;  // 0 picks a free port
  int chapters = 30;
  int chapterBytes = 3000;  // roughly the UTF-8 size of a chapter's paragraphs
  int latencyMs = 0;        // waited before every answer; other requests are not held up
  std::string bookTitle = "演示小说";
  int threads = 600;             // connections served at the same time
  int connectionTimeoutSec = 2;  // idle and read time-out of a connection; bounds StopDemoSite
  // Failures. An entry in `faults` for a page wins over the fraction rule.
  std::vector<DemoFault> faults;
  // The fraction rule: a fixed, scattered share of the chapters (see DemoFractionChapters) fails
  // with fractionFailure, for the first fractionTimes fetches (-1: every fetch).
  DemoFailure fractionFailure = DemoFailure::None;
  double failFraction = 0.0;
  int fractionTimes = -1;
};

// The path of the table of contents, "/list/1537326.html".
std::string DemoTocPath();
// The id in chapter n's address: increasing with n, but not n itself.
int DemoChapterId(int n);
// "/chapter/1537326/<id>.html" for chapter n (1-based).
std::string DemoChapterPath(int n);
// The book title as the <title> element of the table of contents holds it (UTF-8).
std::string DemoBookTitle(const DemoSiteOptions& options);
// The heading of chapter n, "第N章 " followed by the chapter's name (UTF-8); also the link text.
std::string DemoChapterHeading(int n);
// The paragraphs of chapter n as plain UTF-8 text: references decoded, without the indentation.
std::vector<std::string> DemoChapterParagraphs(int n, const DemoSiteOptions& options);
// The chapters (1-based, ascending) that the fraction rule of `options` picks.
std::vector<int> DemoFractionChapters(const DemoSiteOptions& options);
// Whether chapter n's page writes the domain of its advert line in capitals.
bool DemoAdvertInCapitals(int n);

// The pages themselves, as served (UTF-8 HTML).
std::string DemoTocPage(const DemoSiteOptions& options);
std::string DemoChapterPage(int n, const DemoSiteOptions& options, bool withAdvert = true);

struct DemoSite;
struct DemoSiteDeleter {
  void operator()(DemoSite* site) const;  // stops the site, then frees it
};
using DemoSiteHandle = std::unique_ptr<DemoSite, DemoSiteDeleter>;

// Binds and starts serving; null when the address cannot be listened on.
DemoSiteHandle StartDemoSite(const DemoSiteOptions& options);
// Stops serving and joins every thread of the site. Stalled and dripping answers are cut off at
// once; an idle connection holds it up for at most connectionTimeoutSec. Calling it again does
// nothing.
void StopDemoSite(DemoSite& site);

// The port the site listens on (useful with port 0).
int DemoSitePort(const DemoSite& site);
// "http://<address>[:<port>]/list/1537326.html"; the port is left out when it is 80.
std::string DemoTocUrl(const DemoSite& site);
// Requests received for a path (query left out), and for all paths.
int DemoRequestCount(const DemoSite& site, const std::string& path);
int DemoTotalRequests(const DemoSite& site);
// The most requests that were being answered at the same moment.
int DemoPeakConcurrency(const DemoSite& site);
void ResetDemoRequestCounts(DemoSite& site);
// Takes latencyMs and the failure settings (faults, fraction rule) from `options`; the book's
// content, the address and the thread count stay as started. Fetch counting for `times` goes on
// from the current request counts.
void UpdateDemoFaults(DemoSite& site, const DemoSiteOptions& options);
