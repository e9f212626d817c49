#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the core natively under the sanitizers, its
# parsers under the fuzzer for a bounded time, then the Windows build under Wine in a private headless session.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

echo "== native core (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native --output-on-failure

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing the parsers (bounded)"
  scripts/fuzz.sh --seconds "${TSM_FUZZ_SECONDS:-20}"
fi

echo "== Windows build, tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows
# The tests that look at the screen or register services take turns in the first prefix; the rest run beside them
# in a second one.
scripts/wine-session --prefix build/windows/wineprefix --aside build/windows/wineprefix-aside -- \
  ctest --preset windows -j3 --output-on-failure
