// The tests of the real window need one QApplication for the whole run, made before any case
// starts.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // CTest lists the cases without the tests' environment; the window needs no display either way.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
