// The real window (offscreen) and the demo site on a loopback address of this test process's own,
// driven the way a user drives the tool: type, click, wait for the buttons, read the rows.
//
// Main thread only.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "demo_site.h"
#include "text/text_ops.h"

// Dismisses every message box that opens while it lives, after noting what it said.
class MessageBoxCatcher {
 public:
  struct Seen {
    QString text;
    QString title;
    bool errorIcon;
  };
  MessageBoxCatcher();
  std::vector<Seen> seen;

 private:
  QTimer timer_;
};

// A loopback address no other test process uses, so that each can listen on port 80.
std::string OwnLoopbackAddress();

// The Text a row should hold for chapter n of the demo book.
Text ExpectedChapterText(int n, const DemoSiteOptions& options);

class WorkflowTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the demo site with `options` (address filled in) and opens a fresh window on it.
  void Open(DemoSiteOptions options);
  void SetEdit(Control edit, const QString& text);
  // Clicks matchButton and waits for the matching job to give both buttons back.
  void Match();
  // Clicks collectButton and waits until the run has given all three buttons back.
  void Collect(std::chrono::seconds limit = std::chrono::seconds(120));
  bool ButtonsEnabled(bool match, bool collect, bool exportButton) const;
  // Clicks exportButton and waits for its message box and for the button to come back.
  MessageBoxCatcher::Seen Export();
  Text Row(int row) const;
  std::string BookFile() const;

  DemoSiteOptions options_;
  DemoSiteHandle site_;
  std::unique_ptr<MainWindow> window_;
};
