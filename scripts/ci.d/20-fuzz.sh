#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short while; a crash or sanitizer report fails.
set -euo pipefail
SECONDS_PER_TARGET=${FUZZ_SECONDS:-20}
ls tests/fuzz/fuzz_*.cpp >/dev/null 2>&1 || { echo "no fuzz targets"; exit 0; }
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBREVANT_FUZZ=ON -DBREVANT_TESTS=OFF -DBREVANT_BENCH=OFF -DBREVANT_SANITIZE=address
cmake --build build-fuzz -j "$(nproc)" --target fuzz_all
for src in tests/fuzz/fuzz_*.cpp; do
  name=$(basename "$src" .cpp)
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  # Committed seeds, when a target has them, are read but never written.
  seeds=()
  if [ -d tests/fuzz/corpus/"$name" ]; then seeds=(tests/fuzz/corpus/"$name"); fi
  echo "--- $name (${SECONDS_PER_TARGET}s)"
  ASAN_OPTIONS=detect_leaks=1 build-fuzz/tests/fuzz/"$name" -max_total_time="$SECONDS_PER_TARGET" \
    -print_final_stats=0 "$corpus" "${seeds[@]}" 2>&1 | tail -n 3
  test "${PIPESTATUS[0]}" -eq 0
done
