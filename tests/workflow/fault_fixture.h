// The fixture of the fault and hostile-input tests: the real window (offscreen) against book sites
// served by hostile servers on this process's own loopback address, with the page fetch's limits
// lowered so that a silent server costs a second instead of a minute.
//
// Main thread only.
#pragma once

#include <memory>
#include <string>

#include "hostile_servers.h"
#include "web/fetch_test_hooks.h"
#include "workflow_fixture.h"

class FaultTest : public WorkflowTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The book site of this test, not yet started: `chapters` chapters, titled `title` (UTF-8).
  // The book's title gets this process's id after it, so that test processes running at the same
  // time never export to the same file; `exactTitle` keeps it as given.
  BookSite& Book(int chapters, const std::string& title, bool exactTitle = false);
  // Three TLS servers on the own address, each serving the book site's pages: one with a
  // certificate the fetch trusts, one with an expired (but trusted) one, one self-signed and
  // trusted by nobody. The trusted one redirects "/to-http" to the book site over plain http.
  void StartTlsServers();
  // A port on the own address that nothing listens on.
  int ClosedPort() const;
  // A fresh window, nothing typed yet.
  void OpenWindow();
  // Ticks every row, exports, and checks the message and that the file holds every row's text.
  void ExpectExportOfAllRows();

  std::string address_;
  FetchLimits saved_;
  std::string caFile_;
  std::unique_ptr<BookSite> site_book_;
  std::unique_ptr<HostileCertificate> trustedCert_, expiredCert_, untrustedCert_;
  std::unique_ptr<HostileServer> trusted_, expired_, untrusted_;
};
