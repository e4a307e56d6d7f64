// Test-only adjustments of the page fetch: a private certificate authority and shorter limits,
// so tests can use a certificate made at test time and a silent server costs seconds. Nothing in
// the program calls these; no user setting reaches them.
//
// Promises: `SetFetchLimits` may be called from any thread; calls of `FetchPage` that start
// afterwards use the new values.
#pragma once

#include <cstdint>
#include <string>

struct FetchLimits {
  long connectTimeoutMs = 60000;                 // connection, TLS handshake included
  long idleSeconds = 60;                         // longest stretch with nothing received
  long transferTimeoutMs = 120000;               // the whole request, so a trickle ends too
  std::int64_t maxBodyBytes = 64 * 1024 * 1024;  // larger bodies are abandoned
  int maxRedirects = 20;
  std::string caFile;  // PEM file trusted in place of the system store; empty: the system store
};

void SetFetchLimits(const FetchLimits& limits);
FetchLimits GetFetchLimits();
