#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one from its seed corpus in
# tests/fuzz/corpus/<target>/ for a while (NORVEL_FUZZ_SECONDS, default 45 s each; the seeds
# themselves are never changed). A crash stops the run; its input is left in
# build/fuzz/artifacts/ so that it can be kept as a test case.
# Usage: scripts/fuzz.sh [target...]   (all targets when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${NORVEL_FUZZ_SECONDS:-45}

scripts/setup.sh build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DNORVEL_WITH_FUZZ=ON \
  -DNORVEL_WITH_APP=OFF -DNORVEL_WITH_TESTS=OFF -DNORVEL_WITH_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in build/fuzz/tests/fuzz/fuzz_*; do [ -x "$f" ] && targets+=("$(basename "$f")"); done
fi
mkdir -p build/fuzz/artifacts
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  work=build/fuzz/corpus/$name
  mkdir -p "$work"
  seeds=tests/fuzz/corpus/$name
  echo "== fuzz $t for ${seconds}s"
  ASAN_OPTIONS=detect_leaks=0 "build/fuzz/tests/fuzz/$t" -max_total_time="$seconds" \
    -artifact_prefix=build/fuzz/artifacts/"$t"- -print_final_stats=1 "$work" $( [ -d "$seeds" ] && echo "$seeds" ) \
    2>&1 | tail -n 12
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "fuzz: $t found a crash (see build/fuzz/artifacts)"; exit 1; }
done
echo "fuzz: ${#targets[@]} targets ran clean"
