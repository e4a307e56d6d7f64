#include "pool/pump.h"

#include <atomic>

namespace {
std::atomic<void (*)()> registeredPump{nullptr};
}

void SetPumpFunction(void (*pump)()) {
  registeredPump.store(pump);
}

void PumpEvents() {
  if (auto pump = registeredPump.load()) pump();
}
