#!/usr/bin/env bash
# Builds Velmora and runs every test: the native tests and acceptance scripts, the same
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows DLL's tests under
# Wine. Installs missing build packages on Debian; elsewhere it says what to install.
# Ends with one line "N passed, N failed"; exits non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh

require_packages cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev

passed=0
failed=0
jobs=${VELMORA_JOBS:-2}

# Adds a ctest run's counts to the totals; a build that failed counts as one failure.
run_ctest_preset() {
  local preset=$1 log
  log=$(mktemp)
  echo "== $preset: build"
  if ! { cmake --preset "$preset" >"$log" 2>&1 && cmake --build --preset "$preset" -j"$jobs" >>"$log" 2>&1; }; then
    tail -n 60 "$log"
    echo "$preset: build FAILED"
    failed=$((failed + 1))
    rm -f "$log"
    return
  fi
  echo "== $preset: test"
  ctest --preset "$preset" -j"$jobs" 2>&1 | tee "$log" | grep -E -v '^ *([0-9]+/[0-9]+ Test +#[0-9]+: .* Passed|Start +[0-9]+:)' || true
  local summary total bad
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "$preset: ctest printed no summary"
    failed=$((failed + 1))
  else
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  rm -f "$log"
}

run_ctest_preset dev
run_ctest_preset sanitize

if [ "${VELMORA_SKIP_WINDOWS:-0}" != 1 ] && [ -x scripts/test-windows.sh ]; then
  echo "== windows"
  log=$(mktemp)
  scripts/test-windows.sh 2>&1 | tee "$log"
  summary=$(grep -E '^windows: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "windows: no result line"
    failed=$((failed + 1))
  else
    passed=$((passed + $(sed -E 's/^windows: ([0-9]+) passed.*/\1/' <<<"$summary")))
    failed=$((failed + $(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$summary")))
  fi
  rm -f "$log"
fi

for extra in scripts/test-install.sh scripts/test-fuzz.sh scripts/test-soak.sh; do
  [ -x "$extra" ] || continue
  echo "== $(basename "$extra" .sh)"
  log=$(mktemp)
  "$extra" 2>&1 | tee "$log"
  summary=$(grep -E '^[a-z-]+: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    failed=$((failed + 1))
  else
    passed=$((passed + $(sed -E 's/^[a-z-]+: ([0-9]+) passed.*/\1/' <<<"$summary")))
    failed=$((failed + $(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$summary")))
  fi
  rm -f "$log"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
