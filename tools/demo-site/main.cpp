// norvel-demo-site: serves the demo novel site until SIGINT or SIGTERM.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "demo_site.h"

namespace {

void Usage() {
  std::fprintf(
      stderr,
      "usage: norvel-demo-site [--address A] [--port P] [--chapters N] [--chapter-bytes B]\n"
      "                        [--latency-ms L] [--title T] [--threads T]\n"
      "                        [--fail CHAPTER:KIND[:TIMES]]... (CHAPTER 0 is the contents)\n"
      "                        [--fail-fraction F --fail-kind KIND [--fail-times K]]\n"
      "KIND: empty 500 500-empty 503 503-empty 404 cut stall drip no-advert\n"
      "TIMES/K: fail the first K fetches, then serve; -1 (default) fails every fetch\n");
}

bool ParseKind(const std::string& name, DemoFailure& kind) {
  static const std::pair<const char*, DemoFailure> kKinds[] = {
      {"empty", DemoFailure::EmptyBody},
      {"500", DemoFailure::Error500},
      {"500-empty", DemoFailure::Error500Empty},
      {"503", DemoFailure::Error503},
      {"503-empty", DemoFailure::Error503Empty},
      {"404", DemoFailure::NotFound},
      {"cut", DemoFailure::CutBody},
      {"stall", DemoFailure::Stall},
      {"drip", DemoFailure::Drip},
      {"no-advert", DemoFailure::NoAdvert},
  };
  for (const auto& [text, value] : kKinds) {
    if (name == text) {
      kind = value;
      return true;
    }
  }
  return false;
}

bool ParseInt(const char* text, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < -1 || parsed > 100000000) return false;
  value = static_cast<int>(parsed);
  return true;
}

// CHAPTER:KIND[:TIMES]
bool ParseFault(const std::string& text, DemoFault& fault) {
  const size_t first = text.find(':');
  if (first == std::string::npos) return false;
  const size_t second = text.find(':', first + 1);
  const std::string kind =
      text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  if (!ParseInt(text.substr(0, first).c_str(), fault.chapter) || fault.chapter < 0) return false;
  if (!ParseKind(kind, fault.failure)) return false;
  fault.times = -1;
  return second == std::string::npos || ParseInt(text.substr(second + 1).c_str(), fault.times);
}

}  // namespace

int main(int argc, char** argv) {
  DemoSiteOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    }
    if (i + 1 >= argc) {
      Usage();
      return 2;
    }
    const char* value = argv[++i];
    bool ok = true;
    if (arg == "--address") {
      options.address = value;
    } else if (arg == "--port") {
      ok = ParseInt(value, options.port) && options.port >= 0 && options.port <= 65535;
    } else if (arg == "--chapters") {
      ok = ParseInt(value, options.chapters) && options.chapters >= 0;
    } else if (arg == "--chapter-bytes") {
      ok = ParseInt(value, options.chapterBytes) && options.chapterBytes >= 0;
    } else if (arg == "--latency-ms") {
      ok = ParseInt(value, options.latencyMs) && options.latencyMs >= 0;
    } else if (arg == "--title") {
      options.bookTitle = value;
    } else if (arg == "--threads") {
      ok = ParseInt(value, options.threads) && options.threads >= 1;
    } else if (arg == "--fail") {
      DemoFault fault;
      ok = ParseFault(value, fault);
      options.faults.push_back(fault);
    } else if (arg == "--fail-fraction") {
      char* end = nullptr;
      options.failFraction = std::strtod(value, &end);
      ok = end != value && *end == '\0' && options.failFraction >= 0.0 &&
           options.failFraction <= 1.0;
    } else if (arg == "--fail-kind") {
      ok = ParseKind(value, options.fractionFailure);
    } else if (arg == "--fail-times") {
      ok = ParseInt(value, options.fractionTimes);
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "norvel-demo-site: bad option %s %s\n", arg.c_str(), value);
      Usage();
      return 2;
    }
  }

  // The signals are taken by sigwait below, not by whichever server thread they would hit.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  DemoSiteHandle site = StartDemoSite(options);
  if (!site) {
    std::fprintf(stderr, "norvel-demo-site: cannot listen on %s port %d: %s\n",
                 options.address.c_str(), options.port, std::strerror(errno));
    return 1;
  }
  std::printf("Demo novel site with %d chapters. Open this address in the collector:\n%s\n",
              options.chapters, DemoTocUrl(*site).c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&signals, &received);
  StopDemoSite(*site);
  return 0;
}
