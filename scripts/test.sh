#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the core natively under the sanitizers, its
# parsers under the fuzzer for a bounded time (TSM_FUZZ_SECONDS each, default 20), then the Windows build under Wine
# in a private headless session, which also packs the zip. The native and the Windows parts are workflow presets;
# every build is in build/<preset>.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each stage says how long it took, so a slow one shows in the log.
stage() {
  if [ -n "${stage_name:-}" ]; then echo "== ${stage_name}: $((SECONDS - stage_start)) s"; fi
  stage_name=$1 stage_start=$SECONDS
  [ -z "$1" ] || echo "== $1"
}

stage "setting up"
scripts/setup.sh

stage "native core (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake --workflow --preset native

stage "fuzzing the parsers (bounded)"
scripts/fuzz.sh --seconds "${TSM_FUZZ_SECONDS:-20}"

stage "Windows build, tests under Wine, package"
# The tests that look at the screen or register services take turns in the first prefix; the rest run beside them in
# a second one.
scripts/wine-session --prefix build/windows/wineprefix --aside build/windows/wineprefix-aside -- \
  cmake --workflow --preset windows

stage "release checks (reproducible build, signed package)"
scripts/release-checks.sh
stage ""
