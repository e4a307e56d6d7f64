// Renders the main window, as it opens, into the PNG file named by the first argument.
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "app/main_window.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: window_screenshot <file.png>\n", stderr);
    return 2;
  }
  QApplication application(argc, argv);
  MainWindow window;
  window.show();
  QApplication::processEvents();
  if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "window_screenshot: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
