#!/usr/bin/env bash
# Builds Velmora and runs every test, stage by stage: the native tests and acceptance
# scripts (dev), the same under AddressSanitizer and UndefinedBehaviorSanitizer (sanitize),
# the Windows DLLs' tests under Wine (windows), the setup program's tests (install), the
# bounded fuzz runs (fuzz) and the year-long soak (soak). Installs missing packages on Debian; a package that cannot be
# installed stops the run at once, naming it.
#
#   VELMORA_SKIP="windows fuzz"   stages to leave out (VELMORA_SKIP_WINDOWS=1: the same as "windows")
#   VELMORA_JOBS=2                build and test jobs, for every stage
#   (the stage scripts' own switches are listed at the top of each script)
#
# Ends with one line "N passed, N failed"; exits non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh

# A ctest preset, or scripts/test-NAME.sh, which ends with "NAME: N passed, N failed".
STAGES=(dev sanitize windows install fuzz soak)
CTEST_PRESETS=" dev sanitize "

require_packages cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev

export VELMORA_JOBS=${VELMORA_JOBS:-2}
skip=" ${VELMORA_SKIP:-} "
[ "${VELMORA_SKIP_WINDOWS:-0}" = 1 ] && skip="$skip windows "
passed=0
skipped=0   # tests this machine cannot run (each printed as NOT RUN with the reason)
failed=0
start=$SECONDS

# Adds a ctest run's counts to the totals; a build that failed counts as one failure.
run_ctest_preset() {
  local preset=$1 log
  log=$(mktemp)
  echo "== $preset: build"
  if ! { cmake --preset "$preset" >"$log" 2>&1 && cmake --build --preset "$preset" -j"$VELMORA_JOBS" >>"$log" 2>&1; }; then
    tail -n 60 "$log"
    echo "$preset: build FAILED"
    failed=$((failed + 1))
    rm -f "$log"
    return
  fi
  echo "== $preset: test"
  ctest --preset "$preset" -j"$VELMORA_JOBS" 2>&1 | tee "$log" | grep -E -v '^ *([0-9]+/[0-9]+ Test +#[0-9]+: .* Passed|Start +[0-9]+:)' || true
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

# Runs scripts/test-NAME.sh and adds its result line to the totals. A script that is missing,
# not executable or ends without its result line counts as a failure; one that could not
# install what it needs (status 3) stops the whole run.
run_script_stage() {
  local name=$1 script=scripts/test-$1.sh log status summary
  echo "== $name"
  if [ ! -x "$script" ]; then
    echo "$name: $script is missing or not executable"
    failed=$((failed + 1))
    return
  fi
  log=$(mktemp)
  "$script" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  if [ "$status" -eq "$MISSING_PACKAGES_STATUS" ]; then
    rm -f "$log"
    echo "stopped: the $name stage could not install what it needs (above)"
    exit 1
  fi
  summary=$(grep -E "^$name: [0-9]+ passed, [0-9]+ failed" "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "$name: no result line (exit status $status)"
    failed=$((failed + 1))
  else
    passed=$((passed + $(sed -E 's/^[a-z0-9-]+: ([0-9]+) passed.*/\1/' <<<"$summary")))
    failed=$((failed + $(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$summary")))
    if grep -qE ' [0-9]+ skipped' <<<"$summary"; then
      skipped=$((skipped + $(sed -E 's/.* ([0-9]+) skipped.*/\1/' <<<"$summary")))
    fi
    # A script whose counts say nothing failed but whose status says otherwise failed.
    if [ "$status" -ne 0 ] && [ "$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$summary")" -eq 0 ]; then
      echo "$name: exit status $status"
      failed=$((failed + 1))
    fi
  fi
  rm -f "$log"
}

for stage in "${STAGES[@]}"; do
  if [[ $skip == *" $stage "* ]]; then
    echo "== $stage: skipped (VELMORA_SKIP)"
    continue
  fi
  stageStart=$SECONDS
  if [[ $CTEST_PRESETS == *" $stage "* ]]; then run_ctest_preset "$stage"; else run_script_stage "$stage"; fi
  echo "== $stage: $((SECONDS - stageStart)) s"
done

# The tests' share of the C++ (informative: it does not count as a test).
scripts/test-share.sh || true
echo "== all stages: $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"
if [ "$skipped" -gt 0 ]; then
  echo "$passed passed, $failed failed, $skipped skipped"
else
  echo "$passed passed, $failed failed"
fi
[ "$failed" -eq 0 ]
