#include "hostile_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

HostileCertificate::HostileCertificate(const std::string& ip, long validFromSec,
                                       long validUntilSec) {
  key = EVP_EC_gen("P-256");
  cert = X509_new();
  X509_set_version(cert, 2);
  static int serial = 1;
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
  X509_gmtime_adj(X509_getm_notBefore(cert), validFromSec);
  X509_gmtime_adj(X509_getm_notAfter(cert), validUntilSec);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(ip.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509V3_CTX v3;
  X509V3_set_ctx_nodb(&v3);
  X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
  const std::string san = "IP:" + ip;
  for (const auto& [ext, value] : {std::pair<const char*, std::string>{"subjectAltName", san},
                                   {"basicConstraints", "critical,CA:TRUE"}}) {
    X509_EXTENSION* e = X509V3_EXT_conf(nullptr, &v3, ext, value.c_str());
    X509_add_ext(cert, e, -1);
    X509_EXTENSION_free(e);
  }
  X509_sign(cert, key, EVP_sha256());
}

HostileCertificate::~HostileCertificate() {
  X509_free(cert);
  EVP_PKEY_free(key);
}

void AppendPem(const HostileCertificate& certificate, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "a");
  if (f == nullptr) return;
  PEM_write_X509(f, certificate.cert);
  std::fclose(f);
}

bool HostileConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    int n = ssl ? SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size()))
                : static_cast<int>(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL));
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  std::lock_guard lock(server->mutex);
  return !server->stop;
}

bool HostileConnection::Pause(std::chrono::milliseconds pause) {
  std::unique_lock lock(server->mutex);
  return !server->stopping.wait_for(lock, pause, [this] { return server->stop; });
}

void HostileConnection::WaitForStop() {
  std::unique_lock lock(server->mutex);
  server->stopping.wait(lock, [this] { return server->stop; });
}

void HostileConnection::Reset() {
  linger hard{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  reset = true;
}

namespace {

void Serve(HostileServer& server, int fd) {
  HostileConnection connection;
  connection.server = &server;
  connection.fd = fd;
  bool ready = true;
  if (server.tls != nullptr) {
    connection.ssl = SSL_new(server.tls);
    SSL_set_fd(connection.ssl, fd);
    ready = SSL_accept(connection.ssl) == 1;
  }
  std::string request;
  char buf[4096];
  while (ready && request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    int n = connection.ssl ? SSL_read(connection.ssl, buf, sizeof buf)
                           : static_cast<int>(recv(fd, buf, sizeof buf, 0));
    if (n <= 0) break;
    request.append(buf, static_cast<size_t>(n));
  }
  const size_t lineEnd = request.find("\r\n");
  if (ready && lineEnd != std::string::npos) {
    // "GET <path> HTTP/1.1"
    const std::string line = request.substr(0, lineEnd);
    const size_t first = line.find(' ');
    const size_t last = line.rfind(' ');
    const std::string path = (first != std::string::npos && last > first)
                                 ? line.substr(first + 1, last - first - 1)
                                 : std::string();
    {
      std::lock_guard lock(server.mutex);
      ++server.counts[path];
    }
    server.handler(path, connection);
  }
  if (connection.ssl != nullptr) {
    if (!connection.reset) SSL_shutdown(connection.ssl);
    SSL_free(connection.ssl);
  }
  std::lock_guard lock(server.mutex);
  if (!connection.reset) shutdown(fd, SHUT_RDWR);
  close(fd);
  std::erase(server.openFds, fd);
}

void AcceptLoop(HostileServer& server) {
  for (;;) {
    const int fd = accept(server.listenFd, nullptr, nullptr);
    std::lock_guard lock(server.mutex);
    if (fd < 0 || server.stop) {
      if (fd >= 0) close(fd);
      return;
    }
    server.openFds.push_back(fd);
    server.workers.emplace_back([&server, fd] { Serve(server, fd); });
  }
}

}  // namespace

std::unique_ptr<HostileServer> StartHostileServer(const std::string& address, int port,
                                                  HostileHandler handler,
                                                  const HostileCertificate* certificate) {
  auto server = std::make_unique<HostileServer>();
  server->handler = std::move(handler);
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 1024) != 0) {
    close(fd);
    return nullptr;
  }
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  server->port = ntohs(addr.sin_port);
  server->listenFd = fd;
  if (certificate != nullptr) {
    server->tls = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(server->tls, certificate->cert);
    SSL_CTX_use_PrivateKey(server->tls, certificate->key);
  }
  HostileServer* raw = server.get();
  server->acceptor = std::thread([raw] { AcceptLoop(*raw); });
  return server;
}

HostileServer::~HostileServer() {
  {
    std::lock_guard lock(mutex);
    stop = true;
    for (const int fd : openFds)
      shutdown(fd, SHUT_RDWR);
  }
  stopping.notify_all();
  shutdown(listenFd, SHUT_RDWR);
  if (acceptor.joinable()) acceptor.join();
  // No new worker starts once the acceptor has left.
  for (std::thread& t : workers)
    t.join();
  close(listenFd);
  if (tls != nullptr) SSL_CTX_free(tls);
}

int HostileServer::Requests(const std::string& path) {
  std::lock_guard lock(mutex);
  const auto it = counts.find(path);
  return it == counts.end() ? 0 : it->second;
}

int HostileServer::TotalRequests() {
  std::lock_guard lock(mutex);
  int total = 0;
  for (const auto& [path, n] : counts)
    total += n;
  return total;
}

void SendResponse(HostileConnection& connection, const std::string& status,
                  const std::string& headers, const std::string& body) {
  connection.Send("HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: " +
                  std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

namespace {

const char kHtml[] = "Content-Type: text/html; charset=utf-8\r\n";
const char kErrorPage[] =
    "<html><body><h1>Server trouble</h1><p>Try again later.</p></body></html>";

std::string Spoilt(std::string page) {
  static const std::string bad = "\xff\xfe\xc0\xaf\x80\xe4\xb8|\xed\xa0\x80";
  for (const char* marker : {"</title>", "<div id=\"content\">", "<div class=\"list\">"}) {
    const size_t at = page.find(marker);
    if (at != std::string::npos) page.insert(at + (marker[1] == '/' ? 0 : strlen(marker)), bad);
  }
  return page;
}

}  // namespace

void ServeFault(HostileConnection& c, Fault fault, const std::string& path, const std::string& page,
                const std::string& location) {
  const std::string announced = "HTTP/1.1 200 OK\r\n" + std::string(kHtml) +
                                "Content-Length: " + std::to_string(page.size()) +
                                "\r\nConnection: close\r\n\r\n";
  switch (fault) {
    case Fault::None:
      SendResponse(c, "200 OK", kHtml, page);
      break;
    case Fault::Reset:
      if (c.Send(announced + page.substr(0, page.size() / 2))) c.Reset();
      break;
    case Fault::Silent:
      c.WaitForStop();
      break;
    case Fault::Drip:
      if (!c.Send(announced)) break;
      for (size_t i = 0; i < page.size(); ++i) {
        if ((i > 0 && !c.Pause(std::chrono::seconds(1))) || !c.Send(page.substr(i, 1))) break;
      }
      break;
    case Fault::Error500Body:
      SendResponse(c, "500 Internal Server Error", kHtml, kErrorPage);
      break;
    case Fault::Error500Empty:
      SendResponse(c, "500 Internal Server Error", kHtml, "");
      break;
    case Fault::Error503Body:
      SendResponse(c, "503 Service Unavailable", kHtml, kErrorPage);
      break;
    case Fault::Error503Empty:
      SendResponse(c, "503 Service Unavailable", kHtml, "");
      break;
    case Fault::Empty200:
      SendResponse(c, "200 OK", kHtml, "");
      break;
    case Fault::TruncatedChunked: {
      const std::string half = page.substr(0, page.size() / 2);
      char size[32];
      std::snprintf(size, sizeof size, "%zx\r\n", half.size());
      c.Send("HTTP/1.1 200 OK\r\n" + std::string(kHtml) +
             "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n" + size + half + "\r\n");
      break;
    }
    case Fault::InvalidUtf8:
      SendResponse(c, "200 OK", kHtml, Spoilt(page));
      break;
    case Fault::Huge: {
      // Generated as it goes: 200 MB in chunks of 64 KiB, never held in memory.
      if (!c.Send("HTTP/1.1 200 OK\r\n" + std::string(kHtml) +
                  "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n")) {
        break;
      }
      const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
      for (long sent = 0; sent < 200L * 1000 * 1000; sent += 0x10000) {
        if (!c.Send(chunk)) return;
      }
      c.Send("0\r\n\r\n");
      break;
    }
    case Fault::RedirectLoop:
      SendResponse(c, "302 Found", "Location: " + path + "\r\n", "");
      break;
    case Fault::Redirect:
      SendResponse(c, "302 Found", "Location: " + location + "\r\n", "");
      break;
  }
}

bool StartBookSite(BookSite& site, const std::string& address, int port,
                   const HostileCertificate* certificate) {
  std::map<std::string, int> chapterByPath;
  for (int n = 1; n <= site.options.chapters; ++n)
    chapterByPath[DemoChapterPath(n)] = n;
  BookSite* book = &site;
  site.server = StartHostileServer(
      address, port,
      [book, chapterByPath](const std::string& path, HostileConnection& c) {
        const auto route = book->routes.find(path);
        if (route != book->routes.end()) return route->second(path, c);
        if (path == DemoTocPath())
          return ServeFault(c, Fault::None, path, DemoTocPage(book->options));
        const auto chapter = chapterByPath.find(path);
        if (chapter == chapterByPath.end())
          return SendResponse(c, "404 Not Found", kHtml, kErrorPage);
        const int n = chapter->second;
        const std::string page = DemoChapterPage(n, book->options);
        const auto fault = book->chapterFaults.find(n);
        // The counter already holds this request.
        if (fault == book->chapterFaults.end() ||
            (fault->second.times >= 0 && c.server->Requests(path) > fault->second.times)) {
          return ServeFault(c, Fault::None, path, page);
        }
        ServeFault(c, fault->second.fault, path, page, fault->second.location);
      },
      certificate);
  return site.server != nullptr;
}
