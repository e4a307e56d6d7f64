// Runs the tool against the demo site the way a user does and closes the window in the middle of
// a collection run, while hundreds of chapter tasks are fetching and writing rows. The process must
// end at once with exit code 0.
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/app_start.h"
#include "app/main_window.h"
#include "demo_site.h"
#include "workflow/app_state.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  DemoSiteOptions options;
  const unsigned pid = static_cast<unsigned>(getpid());
  // Apart from the addresses the test processes use (127.1.x.x to 127.100.x.x).
  options.address = "127." + std::to_string(101 + (pid >> 16) % 100) + "." +
                    std::to_string((pid >> 8) & 0xFF) + "." + std::to_string(pid & 0xFF);
  options.chapters = 800;
  options.latencyMs = 300;
  DemoSiteHandle site = StartDemoSite(options);
  if (site == nullptr) return 2;

  BeginApplication();
  MainWindow* window = OpenMainWindow();
  window->tocUrlEdit->setText(QString::fromStdString(DemoTocUrl(*site)));
  window->matchButton->click();

  bool collecting = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, window, [&] {
    if (!collecting && window->collectButton->isEnabled()) {
      collecting = true;
      window->collectButton->click();
    } else if (collecting && appState->taskPool.BusyThreads() >= 100) {
      std::fputs("closing mid-run\n", stdout);
      std::fflush(stdout);
      window->close();
    }
  });
  watch.start(5);
  application.exec();
  return 3;  // the close should have ended the process already
}
