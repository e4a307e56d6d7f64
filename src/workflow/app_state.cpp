#include "workflow/app_state.h"

#include "workflow/workflow.h"

AppState* appState = nullptr;

Text SharedText::Load() const {
  std::lock_guard lock(mutex);
  return value;
}

void SharedText::Store(Text newValue) {
  std::lock_guard lock(mutex);
  value.swap(newValue);
}

void InitAppState() {
  if (appState == nullptr) appState = new AppState();
}

void ReleaseAppState() {
  // Runs as the process ends, possibly while job threads and pool workers are still inside a
  // task: they may read any field, so nothing is freed here. Queued chapter tasks are dropped so
  // that no worker starts a new fetch; the process's end reclaims the memory.
  if (appState != nullptr) appState->taskPool.Stop(StopMode::DropNoWait);
}
