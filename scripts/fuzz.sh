#!/usr/bin/env bash
# Fuzzes every Windows-free parser with libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer: the fuzz
# preset builds the targets of tests/fuzz in build/fuzz, and each runs there as a test, keeping its corpus.
#   fuzz.sh [--seconds N]   each target runs N seconds (default 20; give more for a long run on demand)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=20
[ "${1:-}" = "--seconds" ] && seconds=$2
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz.sh: --seconds wants a positive number" >&2; exit 2; }

cmake --preset fuzz -DTSM_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz
