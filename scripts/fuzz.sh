#!/usr/bin/env bash
# Fuzzes every Windows-free parser with libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer.
#   fuzz.sh [--seconds N]   each target runs N seconds (default 20; give more for a long run on demand)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=20
[ "${1:-}" = "--seconds" ] && seconds=$2

out=build/fuzz
mkdir -p "$out"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Isrc/core)

for source in tests/fuzz/*Fuzz.cpp; do
  name=$(basename "$source" .cpp)
  clang++ "${flags[@]}" "$source" src/core/*.cpp -o "$out/$name"
  mkdir -p "$out/corpus/$name"
  echo "fuzz: $name for ${seconds}s"
  "$out/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    "$out/corpus/$name" 2>"$out/$name.log" || { tail -n 40 "$out/$name.log"; exit 1; }
  echo "  $(grep -E '^Done' "$out/$name.log" | tail -n 1)"
done
