#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the plain build, then the whole suite
# under AddressSanitizer + UndefinedBehaviorSanitizer, then the threaded subsystems under
# ThreadSanitizer. Stops at the first failing stage.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${NORVEL_TEST_JOBS:-2}

echo "== plain build"
scripts/setup.sh build/plain
ctest --test-dir build/plain --output-on-failure -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/setup.sh build/asan -DNORVEL_SANITIZER=address -DNORVEL_WITH_BENCH=OFF
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:halt_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== ThreadSanitizer (pool, web, workflow)"
scripts/setup.sh build/tsan -DNORVEL_SANITIZER=thread -DNORVEL_WITH_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" \
  ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L 'pool|web|workflow'
