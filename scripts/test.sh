#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the core natively under the sanitizers, its
# parsers under the fuzzer for a bounded time (TSM_FUZZ_SECONDS each, default 20), then the Windows build under Wine
# in a private headless session, which also packs the zip. The native and the Windows parts are workflow presets;
# every build is in build/<preset>.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/report-failure.sh

# stage NAME COMMAND ...: one stage of the run. Each says how long it took, so a slow one shows in the log, and a
# stage that fails says so by name, with its status, as the last line of the run.
stage() {
  local name=$1 start=$SECONDS status=0
  shift
  echo "== $name"
  "$@" || status=$?
  if ((status != 0)); then
    echo "== $name: FAILED with status $status after $((SECONDS - start)) s (what it printed is above)" >&2
    exit "$status"
  fi
  echo "== $name: $((SECONDS - start)) s"
}

stage "setting up" scripts/setup.sh

stage "native core (AddressSanitizer, UndefinedBehaviorSanitizer)" cmake --workflow --preset native

stage "fuzzing the parsers (bounded)" scripts/fuzz.sh --seconds "${TSM_FUZZ_SECONDS:-20}"

# The tests that look at the screen or register services take turns in the first prefix; the rest run beside them in
# a second one.
stage "Windows build, tests under Wine, package" \
  scripts/wine-session --prefix build/windows/wineprefix --aside build/windows/wineprefix-aside -- \
  cmake --workflow --preset windows

stage "release checks (reproducible build, signed package)" scripts/release-checks.sh
