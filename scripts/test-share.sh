#!/usr/bin/env bash
# Prints the tests' share of the C++: lines of the git-tracked .cpp/.cc/.h/.hpp files under
# tests/ and fuzz/ against those under src/, apps/, tests/, fuzz/ and bench/, blank and
# comment lines included. The Windows test host (apps/) and the test seam (src/win32)
# count as product. Exits non-zero when the share is above 33 %.
set -euo pipefail
cd "$(dirname "$0")/.."

lines() { git ls-files -z -- "$@" | grep -zE '\.(cpp|cc|h|hpp)$' | xargs -0r cat | wc -l; }

tests=$(lines tests fuzz)
all=$(lines src apps tests fuzz bench)
percent=$(awk -v t="$tests" -v a="$all" 'BEGIN { printf "%.1f", a ? 100 * t / a : 0 }')
echo "test share: $tests of $all C++ lines are tests ($percent %; at most 33 %)"
[ $((100 * tests)) -le $((33 * all)) ]
