// Misbehaving web servers for the fault tests: a raw loopback server whose handler writes the
// response by hand (so it can stall, drip, cut, reset or stream without end), optionally over TLS,
// and certificates made at test time (trusted, expired, or trusted by nobody).
//
// Threads: StartHostileServer and the server's destructor run on the test's main thread; each
// connection is served on a thread of its own, which calls the handler. The request counters may
// be read from any thread.
#pragma once

#include <openssl/ssl.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "demo_site.h"

// A self-signed certificate for one IP address, valid from `validFromSec` to `validUntilSec`
// (seconds from now). `pemPath`, when not empty, receives the certificate as PEM.
struct HostileCertificate {
  X509* cert = nullptr;
  EVP_PKEY* key = nullptr;
  HostileCertificate(const std::string& ip, long validFromSec, long validUntilSec);
  ~HostileCertificate();
  HostileCertificate(const HostileCertificate&) = delete;
  HostileCertificate& operator=(const HostileCertificate&) = delete;
};

// Appends `certificate` as PEM to the file at `path` (created when missing).
void AppendPem(const HostileCertificate& certificate, const std::string& path);

struct HostileServer;

// One accepted connection, as the handler sees it.
struct HostileConnection {
  // False once the peer has gone or the server is stopping.
  bool Send(std::string_view bytes);
  // Waits up to `pause`; false when the server began to stop meanwhile.
  bool Pause(std::chrono::milliseconds pause);
  // Waits until the server stops: a connection that is accepted and never answered.
  void WaitForStop();
  // Ends the connection with a TCP reset instead of an orderly close.
  void Reset();

  HostileServer* server = nullptr;
  int fd = -1;
  SSL* ssl = nullptr;
  bool reset = false;
};

// Called once per request with its path (query included) and the connection to answer on. The
// connection is closed when the handler returns.
using HostileHandler = std::function<void(const std::string& path, HostileConnection&)>;

struct HostileServer {
  ~HostileServer();  // stops serving and joins every thread

  int port = 0;
  // Requests received for `path`, and for all paths.
  int Requests(const std::string& path);
  int TotalRequests();

  HostileHandler handler;
  SSL_CTX* tls = nullptr;
  int listenFd = -1;
  std::mutex mutex;
  std::condition_variable stopping;
  bool stop = false;
  std::map<std::string, int> counts;
  std::vector<int> openFds;
  std::vector<std::thread> workers;
  std::thread acceptor;
};

// Listens on `address`:`port` (0 picks a free port) and serves with `handler`; over TLS with
// `certificate` when given. Null when the address cannot be listened on.
std::unique_ptr<HostileServer> StartHostileServer(const std::string& address, int port,
                                                  HostileHandler handler,
                                                  const HostileCertificate* certificate = nullptr);

// A whole response with Content-Length, sent on `connection`.
void SendResponse(HostileConnection& connection, const std::string& status,
                  const std::string& headers, const std::string& body);

// The ways a page can go wrong.
enum class Fault {
  None,
  Reset,             // half the announced body, then a TCP reset
  Silent,            // the request is read and never answered
  Drip,              // the page one byte a second
  Error500Body,      // 500 with a small error page
  Error500Empty,     // 500 with an empty body
  Error503Body,      // 503 with a small error page
  Error503Empty,     // 503 with an empty body
  Empty200,          // 200 with an empty body
  TruncatedChunked,  // chunked, half the page, then the connection closes without the last chunk
  InvalidUtf8,       // the page with bytes that are not UTF-8 in its title and its text
  Huge,              // 200 MB of generated text, chunked, sent until the client gives up
  RedirectLoop,      // 302 to itself
  Redirect,          // 302 to `location`
};

// Answers one request with `page` spoilt by `fault`.
void ServeFault(HostileConnection& connection, Fault fault, const std::string& path,
                const std::string& page, const std::string& location = {});

// The demo book (the demo site's pages, served by a hostile server): its table of contents at
// DemoTocPath(), its chapters at DemoChapterPath(n), each chapter with a fault of its own for its
// first `times` fetches (-1: every fetch), and any further paths through `routes`.
struct BookSite {
  struct ChapterFault {
    Fault fault = Fault::None;
    int times = -1;
    std::string location;
  };
  DemoSiteOptions options;
  std::map<int, ChapterFault> chapterFaults;
  std::map<std::string, HostileHandler> routes;
  std::unique_ptr<HostileServer> server;
};

// Starts `site` on `address`:`port`. False when it cannot listen there.
bool StartBookSite(BookSite& site, const std::string& address, int port = 80,
                   const HostileCertificate* certificate = nullptr);
