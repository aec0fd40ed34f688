#!/usr/bin/env bash
# Builds the development host and runs its demo: a live countdown nickname to the next New
# Year, refreshed every 6 seconds, on a throw-away settings store. Ctrl-C ends it.
# Extra arguments go to `velmora-host demo` (for example --for 20 to stop after 20 s).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
require_packages cmake ninja-build g++ libbenchmark-dev
cmake --preset release >/dev/null
cmake --build --preset release --target velmora-host -j"${VELMORA_JOBS:-2}" >/dev/null
exec build/release/apps/velmora-host/velmora-host demo "$@"
