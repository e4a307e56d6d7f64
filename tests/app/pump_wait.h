// Waiting in tests without guessing: the main thread handles its events (so calls from other
// threads are served) until a condition holds or a deadline passes.
//
// Promises: main thread only.
#pragma once

#include <chrono>
#include <functional>

// True once `done` holds; false when `limit` passed first.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20));
