#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build/fuzz and runs each for a bounded time from a copy of its seed corpus, so the corpus
# in the repository never changes by itself. Any crash, leak, sanitizer report, timeout or
# failed invariant fails the target; its input is kept in build/fuzz/findings/.
#
#   VELMORA_FUZZ_SECONDS  seconds per target (default 30)
#   VELMORA_JOBS          targets run side by side (default 2)
#
# Ends with one line "fuzz: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh

require_packages cmake ninja-build clang
# libFuzzer is part of clang's runtime, packaged apart under clang's major version.
if ! find "$(clang -print-resource-dir)" -name 'libclang_rt.fuzzer*.a' 2>/dev/null | grep -q .; then
  require_packages "libclang-rt-$(clang -dumpversion | cut -d. -f1)-dev"
fi

seconds=${VELMORA_FUZZ_SECONDS:-30}
jobs=${VELMORA_JOBS:-2}
build=build/fuzz
targets=(fuzz_template fuzz_number fuzz_registry_file fuzz_script fuzz_loadsetting)
# Long enough for a nickname past its cut and a whole settings file.
declare -A max_len=([fuzz_template]=1024 [fuzz_number]=128 [fuzz_registry_file]=4096
                    [fuzz_script]=4096 [fuzz_loadsetting]=2048)

log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "== fuzz: build"
if ! { cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >"$log" 2>&1 &&
       cmake --build "$build" -j"$jobs" --target "${targets[@]}" >>"$log" 2>&1; }; then
  tail -n 60 "$log"
  echo "fuzz: build FAILED"
  echo "fuzz: 0 passed, ${#targets[@]} failed"
  exit 1
fi

runs="$build/runs"
findings="$build/findings"
rm -rf "$runs"
mkdir -p "$runs" "$findings"

# Runs one target; its output goes to $runs/<target>.log, its status to $runs/<target>.rc.
run_target() {
  local target=$1 corpus="$runs/$1.corpus"
  cp -r "fuzz/corpus/$target" "$corpus"
  local dict=()
  [ -f "fuzz/$target.dict" ] && dict=("-dict=fuzz/$target.dict")
  "$build/$target" "$corpus" "${dict[@]}" \
    -max_total_time="$seconds" -max_len="${max_len[$target]}" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/$target-" >"$runs/$target.log" 2>&1
  echo $? >"$runs/$target.rc"
}

echo "== fuzz: ${#targets[@]} targets, ${seconds}s each, $jobs at a time"
running=0
for target in "${targets[@]}"; do
  if [ "$(find "fuzz/corpus/$target" -type f 2>/dev/null | head -n 1)" = "" ]; then
    echo "no seed corpus in fuzz/corpus/$target" >"$runs/$target.log"
    echo 1 >"$runs/$target.rc"
    continue
  fi
  run_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

passed=0
failed=0
for target in "${targets[@]}"; do
  rc=$(cat "$runs/$target.rc" 2>/dev/null || echo 1)
  execs=$(grep -E '^stat::number_of_executed_units:' "$runs/$target.log" | awk '{print $2}')
  if [ "$rc" = 0 ]; then
    echo "$target: passed (${execs:-?} inputs)"
    passed=$((passed + 1))
  else
    echo "$target: FAILED (exit $rc)"
    grep -E 'invariant failed|^  [^ ]|ERROR: |runtime error|SUMMARY|Test unit written' "$runs/$target.log" |
      head -n 20 | sed 's/^/    /'
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
