#!/usr/bin/env bash
# Measures the panel under Wine, beside a minimal window program measured in the same run, and prints the figures
# with their targets. On demand only: the figures depend on the machine and on what else it is doing, so no test
# runs this.
#
#   scripts/bench.sh [--phases] [RUNS [SECTION ...]]
#
#   RUNS         launches of each program for the start-up medians (default 7)
#   SECTION      size, startup, latency, roundtrip, endurance, service: only these (default all)
#   --phases     also time the panel's start-up step by step from the inside (tsm_bench_phases), cold and warm
#
# Builds only what it needs, through the windows preset in build/windows, and runs in a Wine session whose prefix is
# its own (build/windows/wineprefix-bench), with Wine's visual style on, as Windows 10 and 11 always have one.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/report-failure.sh"
build="$root/build/windows"
runs=7
phases=0
while (($#)); do
  case "$1" in
    --phases) phases=1; shift ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) break ;;
  esac
done
if (($#)); then runs="$1"; shift; fi
sections=("$@")
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "bench.sh: RUNS must be a positive number" >&2; exit 2; }

cd "$root"
cmake --preset windows >/dev/null
targets=(tsm_bench)
((phases)) && targets+=(tsm_bench_phases)
# Two cores at most: a benchmark run should not be the reason the machine is busy.
cmake --build --preset windows --target "${targets[@]}" -j2 >/dev/null

load() { cut -d' ' -f1-3 /proc/loadavg; }
echo "Machine: $(nproc) cores, load average $(load) before the run"
status=0
scripts/wine-session --prefix "$build/wineprefix-bench" --style 1 -- bash -c '
  set -e
  build=$1 runs=$2 phases=$3
  shift 3
  wine "$build/bin/tsm_bench.exe" "$runs" "$@"
  if [ "$phases" = 1 ]; then
    echo
    echo "Where the start-up goes (the panel'\''s window built from its own units, timed from the inside)"
    wine "$build/bin/tsm_bench_phases.exe" cold
    wine "$build/bin/tsm_bench_phases.exe" warm
  fi
' bench "$build" "$runs" "$phases" "${sections[@]}" || status=$?
echo
echo "Load average $(load) after the run"
exit "$status"
