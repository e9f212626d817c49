#!/usr/bin/env bash
# Fuzzes every Windows-free parser with libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer: the fuzz
# preset builds the targets of tests/fuzz in build/fuzz, and each runs there as a test, keeping its corpus.
#   fuzz.sh [--seconds N]   each target runs N seconds (default 20; give more for a long run on demand)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/report-failure.sh

seconds=20
[ "${1:-}" = "--seconds" ] && seconds=$2
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz.sh: --seconds wants a positive number" >&2; exit 2; }

# What the configure step prints is only shown when it fails.
configure_log=$(mktemp)
cmake --preset fuzz -DTSM_FUZZ_SECONDS="$seconds" >"$configure_log" 2>&1 || {
  echo "fuzz.sh: configuring the fuzz preset failed; it printed:" >&2
  cat "$configure_log" >&2
  exit 1
}
rm -f "$configure_log"
cmake --build --preset fuzz
ctest --preset fuzz
