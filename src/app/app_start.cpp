#include "app/app_start.h"

#include <QApplication>
#include <cstdlib>

#include "app/main_window.h"
#include "pool/pump.h"
#include "workflow/window_ops.h"
#include "workflow/workflow.h"

namespace {

void ReleaseAtExit() {
  ReleaseAppState();
}

}  // namespace

void BeginApplication() {
  InitAppState();
  // The process ends by quick_exit when the window closes, so the hook goes there.
  std::at_quick_exit(ReleaseAtExit);
  SetPumpFunction(ProcessPendingEvents);
}

MainWindow* OpenMainWindow() {
  auto* window = new MainWindow();
  window->show();
  return window;
}

int RunApplication(int argc, char** argv) {
  QApplication application(argc, argv);
  BeginApplication();
  OpenMainWindow();
  application.exec();
  // The loop only returns if something quits it; the process still ends as a window close ends
  // it, without tearing down what running jobs may use.
  OnMainWindowDestroyed();
}
