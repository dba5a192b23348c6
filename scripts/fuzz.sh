#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
set -euo pipefail
seconds=${1:-60}
dir=build-fuzz
[ -d tests/fuzz ] && ls tests/fuzz/*.cpp >/dev/null 2>&1 || { echo "fuzz: no targets"; exit 0; }
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHCY_BUILD_FUZZ=ON -DHCY_BUILD_BENCH=OFF -DHCY_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target hcy_fuzz_all
for target in "$dir"/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  # New units and findings go under the build folder, never into the seeds.
  corpus="$dir/corpus/$name"; artifacts="$dir/artifacts/$name"
  mkdir -p "$corpus" "$artifacts"
  seeds=tests/fuzz/seeds/${name#fuzz_}
  echo "fuzz: $name for ${seeds:+seeded }$seconds s"
  "$target" -max_total_time="$seconds" -max_len=9000 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" \
    "$corpus" $( [ -d "$seeds" ] && echo "$seeds" ) 2>&1 | tail -n 12
done
