#include "workflow_fixture.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>

#include "app/app_start.h"
#include "app/report_model.h"
#include "pump_wait.h"
#include "text/codepage.h"
#include "workflow/export_file.h"
#include "workflow/window_ops.h"

MessageBoxCatcher::MessageBoxCatcher() {
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    seen.push_back({box->text(), box->windowTitle(), box->icon() == QMessageBox::Critical});
    box->accept();
  });
  timer_.start(10);
}

std::string OwnLoopbackAddress() {
  // Every bit of the process id, so that no two test processes share an address.
  const unsigned pid = static_cast<unsigned>(getpid());
  return "127." + std::to_string(1 + (pid >> 16) % 100) + "." + std::to_string((pid >> 8) & 0xFF) +
         "." + std::to_string(pid & 0xFF);
}

Text ExpectedChapterText(int n, const DemoSiteOptions& options) {
  // The heading, the empty line the cut advert leaves, then the indented paragraphs.
  Text expected = Utf8ToAnsi(DemoChapterHeading(n)) + "\r\n\r\n";
  for (const std::string& paragraph : DemoChapterParagraphs(n, options)) {
    expected += "    " + Utf8ToAnsi(paragraph) + "\r\n";
  }
  return expected;
}

void WorkflowTest::SetUp() {
  static const bool begun = [] {
    BeginApplication();
    return true;
  }();
  (void)begun;
}

void WorkflowTest::TearDown() {
  if (window_ != nullptr) {
    // A test that failed half-way may leave a run going: let it end before the next test.
    PumpUntil([this] { return ButtonsEnabled(true, true, true) || !window_->isVisible(); },
              std::chrono::seconds(60));
  }
  window_.reset();
  site_.reset();
  std::error_code ignored;
  if (!options_.bookTitle.empty()) std::filesystem::remove(BookFile(), ignored);
}

void WorkflowTest::Open(DemoSiteOptions options) {
  options.address = OwnLoopbackAddress();
  options.port = 80;
  options_ = options;
  site_ = StartDemoSite(options_);
  ASSERT_NE(site_, nullptr) << "cannot listen on " << options_.address << ":80";
  window_ = std::make_unique<MainWindow>();
  window_->show();
  SetEdit(Control::tocUrlEdit, QString::fromStdString(DemoTocUrl(*site_)));
}

void WorkflowTest::SetEdit(Control edit, const QString& text) {
  qobject_cast<QLineEdit*>(window_->ControlObject(edit))->setText(text);
}

bool WorkflowTest::ButtonsEnabled(bool match, bool collect, bool exportButton) const {
  return window_->matchButton->isEnabled() == match &&
         window_->collectButton->isEnabled() == collect &&
         window_->exportButton->isEnabled() == exportButton;
}

void WorkflowTest::Match() {
  const bool exportEnabled = window_->exportButton->isEnabled();
  window_->matchButton->click();
  EXPECT_FALSE(window_->matchButton->isEnabled());
  EXPECT_FALSE(window_->collectButton->isEnabled());
  ASSERT_TRUE(PumpUntil([&] { return ButtonsEnabled(true, true, exportEnabled); },
                        std::chrono::seconds(60)));
}

void WorkflowTest::Collect(std::chrono::seconds limit) {
  window_->collectButton->click();
  EXPECT_TRUE(ButtonsEnabled(false, false, false));
  ASSERT_TRUE(PumpUntil([&] { return ButtonsEnabled(true, true, true); }, limit))
      << "the run did not end";
}

MessageBoxCatcher::Seen WorkflowTest::Export() {
  MessageBoxCatcher catcher;
  window_->exportButton->click();
  const bool shown = PumpUntil([&] { return !catcher.seen.empty(); }, std::chrono::seconds(30));
  EXPECT_TRUE(shown);
  EXPECT_TRUE(PumpUntil([&] { return window_->exportButton->isEnabled(); }));
  return shown ? catcher.seen.front() : MessageBoxCatcher::Seen{};
}

Text WorkflowTest::Row(int row) const {
  return ListGetCellText(Control::chapterList, row, 1);
}

std::string WorkflowTest::BookFile() const {
  return BookFilePath(ProgramDirectory(), Utf8ToAnsi(options_.bookTitle));
}
