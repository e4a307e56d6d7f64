// Loopback servers for the page-fetch tests: a raw server that records the exact bytes of each
// request (plain or TLS), and a certificate made at test time.
#pragma once

#include <openssl/ssl.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A self-signed certificate for 127.0.0.1, also written as PEM to `pemPath` for the client.
struct TestCertificate {
  X509* cert = nullptr;
  EVP_PKEY* key = nullptr;
  std::string pemPath;
  explicit TestCertificate(const std::string& dir);
  ~TestCertificate();
};

// Accepts connections on 127.0.0.1, reads one request (head and Content-Length body) from each
// and sends back what `answer` returns for it. An empty answer keeps the connection open and
// silent until the server is destroyed; so does every answer when `holdOpen`. With `tls`,
// connections speak TLS with that certificate.
class RawServer {
 public:
  explicit RawServer(std::function<std::string(const std::string& request)> answer,
                     const TestCertificate* tls = nullptr, bool holdOpen = false);
  ~RawServer();
  int Port() const { return port_; }
  // Every request received so far, in arrival order.
  std::vector<std::string> Requests();

 private:
  void AcceptLoop();
  void Serve(int fd);

  std::function<std::string(const std::string&)> answer_;
  SSL_CTX* ctx_ = nullptr;
  bool holdOpen_ = false;
  int listenFd_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  std::condition_variable stopped_;
  bool stop_ = false;
  std::vector<std::string> requests_;
  std::vector<int> openFds_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

// The head of a request: everything before its blank line.
std::string RequestHead(const std::string& request);
// The body after the blank line.
std::string RequestBody(const std::string& request);
// A complete response with the given status line, extra header lines and body.
std::string Response(const std::string& status, const std::string& headers,
                     const std::string& body);
