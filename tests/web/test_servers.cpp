#include "test_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

TestCertificate::TestCertificate(const std::string& dir) : pemPath(dir + "/cert.pem") {
  key = EVP_EC_gen("P-256");
  cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509V3_CTX v3;
  X509V3_set_ctx_nodb(&v3);
  X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
  for (const char* ext : {"subjectAltName", "basicConstraints"}) {
    const char* value = std::string(ext) == "subjectAltName" ? "IP:127.0.0.1" : "critical,CA:TRUE";
    X509_EXTENSION* e = X509V3_EXT_conf(nullptr, &v3, ext, value);
    X509_add_ext(cert, e, -1);
    X509_EXTENSION_free(e);
  }
  X509_sign(cert, key, EVP_sha256());
  FILE* f = std::fopen(pemPath.c_str(), "w");
  PEM_write_X509(f, cert);
  std::fclose(f);
}

TestCertificate::~TestCertificate() {
  X509_free(cert);
  EVP_PKEY_free(key);
}

RawServer::RawServer(std::function<std::string(const std::string&)> answer,
                     const TestCertificate* tls, bool holdOpen)
    : answer_(std::move(answer)), holdOpen_(holdOpen) {
  if (tls) {
    ctx_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(ctx_, tls->cert);
    SSL_CTX_use_PrivateKey(ctx_, tls->key);
  }
  listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(listenFd_, 1024);
  socklen_t len = sizeof addr;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

RawServer::~RawServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    for (int fd : openFds_)
      shutdown(fd, SHUT_RDWR);
  }
  stopped_.notify_all();
  shutdown(listenFd_, SHUT_RDWR);
  acceptor_.join();
  for (std::thread& t : workers_)
    t.join();
  close(listenFd_);
  if (ctx_) SSL_CTX_free(ctx_);
}

std::vector<std::string> RawServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void RawServer::AcceptLoop() {
  for (;;) {
    int fd = accept(listenFd_, nullptr, nullptr);
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd < 0 || stop_) {
      if (fd >= 0) close(fd);
      return;
    }
    openFds_.push_back(fd);
    workers_.emplace_back([this, fd] { Serve(fd); });
  }
}

void RawServer::Serve(int fd) {
  SSL* ssl = nullptr;
  if (ctx_) {
    ssl = SSL_new(ctx_);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) != 1) {
      SSL_free(ssl);
      ssl = nullptr;
    }
  }
  auto readSome = [&](char* buf, int n) {
    if (ctx_) return ssl ? SSL_read(ssl, buf, n) : -1;
    return static_cast<int>(recv(fd, buf, n, 0));
  };
  std::string request;
  size_t want = std::string::npos;
  char buf[4096];
  while (request.size() < want) {
    int n = readSome(buf, sizeof buf);
    if (n <= 0) break;
    request.append(buf, n);
    size_t end = request.find("\r\n\r\n");
    if (want == std::string::npos && end != std::string::npos) {
      size_t length = 0;
      std::string head = request.substr(0, end);
      for (const char* name : {"\r\nContent-Length:", "\r\ncontent-length:"}) {
        size_t at = head.find(name);
        if (at != std::string::npos) length = std::stoul(head.substr(at + 17));
      }
      want = end + 4 + length;
    }
  }
  std::string reply;
  if (!request.empty()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    reply = answer_(request);
  }
  if (!reply.empty() && ssl) {
    SSL_write(ssl, reply.data(), static_cast<int>(reply.size()));
  } else if (!reply.empty() && !ctx_) {
    send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
  }
  if (reply.empty() || holdOpen_) {
    std::unique_lock<std::mutex> lock(mutex_);
    stopped_.wait(lock, [this] { return stop_; });
  }
  if (ssl) {
    SSL_shutdown(ssl);
    SSL_free(ssl);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  shutdown(fd, SHUT_RDWR);
  close(fd);
  std::erase(openFds_, fd);
}

std::string RequestHead(const std::string& request) {
  return request.substr(0, request.find("\r\n\r\n"));
}

std::string RequestBody(const std::string& request) {
  size_t end = request.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : request.substr(end + 4);
}

std::string Response(const std::string& status, const std::string& headers,
                     const std::string& body) {
  return "HTTP/1.1 " + status + "\r\n" + headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}
