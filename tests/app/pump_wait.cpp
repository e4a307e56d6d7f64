#include "pump_wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // A steady tick wakes the loop, so a condition that changes without any event is seen too.
  QTimer wake;
  wake.start(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}
