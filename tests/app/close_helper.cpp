// Opens the main window the way the program does, keeps 500 threads calling window operations
// (and one job held in a message box), and closes the window once all of them are busy. The
// process must end with exit code 0 from the close alone.
#include <QApplication>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/app_start.h"
#include "app/main_window.h"
#include "text/text_ops.h"
#include "workflow/window_ops.h"

namespace {

constexpr int kWorkers = 500;
std::atomic<int> busyWorkers{0};

void ReportExitHooks() {
  std::fputs("exit hooks ran\n", stdout);
  std::fflush(stdout);
}

void Work(int row) {
  bool counted = false;
  for (int round = 0;; ++round) {
    ListSetCellText(Control::chapterList, row, 1, Text(1000 + round % 7, 'x'));
    GetEditText(Control::tocUrlEdit);
    SetProgressPosition(Control::collectProgress, round % 100);
    ListGetTick(Control::chapterList, row);
    if (!counted) {
      counted = true;
      ++busyWorkers;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  BeginApplication();
  std::at_quick_exit(ReportExitHooks);
  MainWindow* window = OpenMainWindow();
  for (int row = 0; row < kWorkers; ++row)
    ListInsertRow(Control::chapterList, row, ToText(row));
  for (int row = 0; row < kWorkers; ++row)
    std::thread(Work, row).detach();
  std::thread([] { ShowMessageBox("held", kIconError, "job"); }).detach();

  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, window, [window] {
    if (busyWorkers.load() < kWorkers) return;
    std::fputs("busy\n", stdout);
    std::fflush(stdout);
    window->close();
  });
  watch.start(1);
  application.exec();
  return 3;  // the close should have ended the process already
}
