#include "fault_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLineEdit>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "pump_wait.h"
#include "text/codepage.h"
#include "workflow/window_ops.h"
#include "workflow/workflow.h"

void FaultTest::SetUp() {
  WorkflowTest::SetUp();
  address_ = OwnLoopbackAddress();
  saved_ = GetFetchLimits();
  FetchLimits limits = saved_;
  limits.connectTimeoutMs = 1000;
  limits.idleSeconds = 1;
  // The 200 MB body meets a 2 MiB cap instead of 64 MiB, which keeps the sanitizer runs short.
  limits.maxBodyBytes = 2 * 1024 * 1024;
  caFile_ = testing::TempDir() + "/norvel-faults-" + std::to_string(getpid()) + ".pem";
  std::filesystem::remove(caFile_);
  limits.caFile = caFile_;
  SetFetchLimits(limits);
}

void FaultTest::TearDown() {
  WorkflowTest::TearDown();
  trusted_.reset();
  expired_.reset();
  untrusted_.reset();
  site_book_.reset();
  SetFetchLimits(saved_);
  std::filesystem::remove(caFile_);
}

BookSite& FaultTest::Book(int chapters, const std::string& title, bool exactTitle) {
  site_book_ = std::make_unique<BookSite>();
  site_book_->options.chapters = chapters;
  site_book_->options.chapterBytes = 600;
  site_book_->options.bookTitle = exactTitle ? title : title + "-" + std::to_string(getpid());
  options_ = site_book_->options;
  return *site_book_;
}

void FaultTest::StartTlsServers() {
  trustedCert_ = std::make_unique<HostileCertificate>(address_, -3600, 24 * 3600);
  expiredCert_ = std::make_unique<HostileCertificate>(address_, -48 * 3600, -24 * 3600);
  untrustedCert_ = std::make_unique<HostileCertificate>(address_, -3600, 24 * 3600);
  AppendPem(*trustedCert_, caFile_);
  AppendPem(*expiredCert_, caFile_);
  BookSite* book = site_book_.get();
  const std::string plain = "http://" + address_ + DemoTocPath();
  auto handler = [book, plain](const std::string& path, HostileConnection& c) {
    if (path == "/to-http") return ServeFault(c, Fault::Redirect, path, "", plain);
    ServeFault(
        c, Fault::None, path,
        path == DemoTocPath() ? DemoTocPage(book->options) : DemoChapterPage(1, book->options));
  };
  trusted_ = StartHostileServer(address_, 0, handler, trustedCert_.get());
  expired_ = StartHostileServer(address_, 0, handler, expiredCert_.get());
  untrusted_ = StartHostileServer(address_, 0, handler, untrustedCert_.get());
  ASSERT_TRUE(trusted_ && expired_ && untrusted_);
}

int FaultTest::ClosedPort() const {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  inet_pton(AF_INET, address_.c_str(), &addr.sin_addr);
  bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &len);
  close(probe);
  return ntohs(addr.sin_port);
}

void FaultTest::OpenWindow() {
  window_ = std::make_unique<MainWindow>();
  window_->show();
}

void FaultTest::ExpectExportOfAllRows() {
  std::error_code ignored;
  std::filesystem::remove(BookFile(), ignored);
  SelectAllChapters();
  std::string expected;
  for (int row = 0; row < ListRowCount(Control::chapterList); ++row)
    expected += Row(row) + "\r\n";
  EXPECT_EQ(Export().text, QString::fromUtf8("写出到文本成功！"));
  std::ifstream in(BookFile(), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), expected);
}
