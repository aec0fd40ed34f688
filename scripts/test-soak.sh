#!/usr/bin/env bash
# Builds the year-long soak (Release, build/soak) and runs it. Ends with one line
# "soak: N passed, N failed"; a build that fails counts as one failure.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh

require_packages cmake ninja-build g++ libgtest-dev

build=build/soak
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "== soak: build"
if ! { cmake -S tests/soak -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$log" 2>&1 &&
       cmake --build "$build" -j"${VELMORA_JOBS:-2}" --target velmora_soak >>"$log" 2>&1; }; then
  tail -n 60 "$log"
  echo "soak: 0 passed, 1 failed"
  exit 1
fi

echo "== soak: run"
"$build/velmora_soak" --gtest_color=no 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
passed=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?.*/\1/p' "$log" | tail -n 1)
failed=$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?, listed below.*/\1/p' "$log" | tail -n 1)
passed=${passed:-0}
failed=${failed:-0}
# A run that died before its summary counts as one failure.
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then failed=1; fi
echo "soak: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
